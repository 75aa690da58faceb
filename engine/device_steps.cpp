#include "engine/device_steps.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "engine/hardware_ids.h"
#include "engine/instrument_table.h"
#include "engine/local_buffer.h"
#include "engine/platform_handle.h"

namespace engine {
namespace {

constexpr char kInfPathValue[] = "InfPath";
constexpr uint32_t kInfPathSize = 260;

// The text at `text`, ending at its zero or after `limit` bytes.
std::string BoundedText(const uint8_t* text, uint32_t limit) {
  const char* begin = reinterpret_cast<const char*>(text);
  return std::string(begin, std::find(begin, begin + limit, '\0'));
}

// Reads `property` into a buffer sized by the wide query; calls
// `use(buffer, size)` with the size the ANSI read reported, only on success.
template <typename Use>
void ReadPropertyNT(DevicePlatform& platform, DevInfoHandle set, SpDevinfoData& device,
                    uint32_t property, Use use) {
  uint32_t required = 0;
  platform.SetupDiGetDeviceRegistryPropertyW(set, &device, property, nullptr, nullptr, 0,
                                             &required);
  if (required == 0) return;  // no such property: nothing to read
  LocalBuffer buffer(platform, required);
  if (!buffer.data()) return;
  uint32_t read_size = 0;
  if (platform.SetupDiGetDeviceRegistryPropertyA(set, &device, property, nullptr, buffer.data(),
                                                 buffer.size(), &read_size)) {
    use(buffer.data(), std::min(read_size, buffer.size()));
  }
}

// Destroys the compatible-driver list of one device on every path.
class CompatibleDriverList {
 public:
  CompatibleDriverList(DevicePlatform& platform, DevInfoHandle set, SpDevinfoData& device)
      : platform_(platform), set_(set), device_(device) {
    // A list that cannot be built simply enumerates nothing.
    platform_.SetupDiBuildDriverInfoList(set_, &device_, kSpditCompatDriver);
  }
  CompatibleDriverList(const CompatibleDriverList&) = delete;
  CompatibleDriverList& operator=(const CompatibleDriverList&) = delete;
  ~CompatibleDriverList() {
    platform_.SetupDiDestroyDriverInfoList(set_, &device_, kSpditCompatDriver);
  }

 private:
  DevicePlatform& platform_;
  DevInfoHandle set_;
  SpDevinfoData& device_;
};

// True when an id that the driver's model line names (the detail's
// hardware id and compatible ids) contains an instrument id.
bool NamesInstrument(DevicePlatform& platform, const LocalBuffer& detail) {
  constexpr uint32_t ids_at = offsetof(SpDrvinfoDetailDataA, HardwareID);
  std::vector<std::string> ids;
  SplitMultiString(platform, detail.data() + ids_at, detail.size() - ids_at, ids);
  return IsInstrumentDevice(platform, ids);
}

// Appends the INF file named by the detail of `driver`, if it can be read
// and the driver was written for an instrument.
void AppendInfFile(DevicePlatform& platform, DevInfoHandle set, SpDevinfoData& device,
                   SpDrvinfoDataA& driver, DeviceRecord& record) {
  uint32_t required = 0;
  platform.SetupDiGetDriverInfoDetailA(set, &device, &driver, nullptr, 0, &required);
  // A size below the fixed part means the query failed; writing cbSize
  // into such a buffer would overrun it.
  if (required < sizeof(SpDrvinfoDetailDataA)) return;
  LocalBuffer detail(platform, required);
  if (!detail.data()) return;
  const uint32_t cb_size = sizeof(SpDrvinfoDetailDataA);
  std::memcpy(detail.data() + offsetof(SpDrvinfoDetailDataA, cbSize), &cb_size, sizeof(cb_size));
  if (platform.SetupDiGetDriverInfoDetailA(set, &device, &driver, detail.data(), detail.size(),
                                           nullptr) &&
      NamesInstrument(platform, detail)) {
    record.inf_files.push_back(
        BoundedText(detail.data() + offsetof(SpDrvinfoDetailDataA, InfFileName),
                    sizeof(SpDrvinfoDetailDataA::InfFileName)));
  }
}

// Removes the device node with kDifRemove; false when the node stays.
bool RemoveWithClassInstaller(DevicePlatform& platform, DevInfoHandle set,
                              SpDevinfoData& device) {
  SpRemovedeviceParams params{};
  params.ClassInstallHeader.cbSize = sizeof(SpClassinstallHeader);
  params.ClassInstallHeader.InstallFunction = kDifRemove;
  params.Scope = kDiRemovedeviceGlobal;
  params.HwProfile = 0;
  return platform.SetupDiSetClassInstallParamsA(set, &device, &params.ClassInstallHeader,
                                                sizeof(params)) &&
         platform.SetupDiCallClassInstaller(kDifRemove, set, &device);
}

}  // namespace

void ReadDevicePropertiesNT(DevicePlatform& platform, DevInfoHandle set, SpDevinfoData& device,
                            DeviceRecord& record) {
  ReadPropertyNT(platform, set, device, kSpdrpService, [&](const uint8_t* data, uint32_t size) {
    record.service_name = BoundedText(data, size);
  });
  ReadPropertyNT(platform, set, device, kSpdrpHardwareId, [&](const uint8_t* data, uint32_t size) {
    SplitMultiString(platform, data, size, record.hardware_ids);
  });
}

void ReadDeviceProperties9x(DevicePlatform& platform, DevInfoHandle set, SpDevinfoData& device,
                            DeviceRecord& record) {
  uint32_t required = 0;
  platform.SetupDiGetDeviceRegistryPropertyA(set, &device, kSpdrpHardwareId, nullptr, nullptr, 0,
                                             &required);
  if (required == 0) return;  // no such property: nothing to read
  // One spare zero byte ends the last text even if the property lacks it.
  LocalBuffer buffer(platform, required + 1);
  if (!buffer.data()) return;
  if (platform.SetupDiGetDeviceRegistryPropertyA(set, &device, kSpdrpHardwareId, nullptr,
                                                 buffer.data(), buffer.size(), nullptr)) {
    SplitMultiString(platform, buffer.data(), required, record.hardware_ids);
  }
}

void CollectInfFiles(DevicePlatform& platform, DevInfoHandle set, SpDevinfoData& device,
                     DeviceRecord& record) {
  CompatibleDriverList list(platform, set, device);
  for (uint32_t index = 0;; ++index) {
    SpDrvinfoDataA driver{};
    driver.cbSize = sizeof(driver);
    if (!platform.SetupDiEnumDriverInfoA(set, &device, kSpditCompatDriver, index, &driver)) break;
    AppendInfFile(platform, set, device, driver, record);
  }
}

void ReadInstalledInf(DevicePlatform& platform, DevInfoHandle set, SpDevinfoData& device,
                      DeviceRecord& record) {
  const KeyHandle handle =
      platform.SetupDiOpenDevRegKey(set, &device, kDicsFlagGlobal, 0, kDiregDrv, kKeyQueryValue);
  if (handle == kInvalidHandleValue) return;  // no driver installed
  const OwnedKey key(platform, handle);
  uint8_t value[kInfPathSize + 1] = {};  // one spare zero ends any text
  uint32_t size = kInfPathSize;
  uint32_t type = 0;
  if (platform.RegQueryValueExA(key.get(), kInfPathValue, &type, value, &size) == kErrorSuccess &&
      type == kRegSz) {
    record.installed_inf = BoundedText(value, kInfPathSize);
  }
}

void DeleteDeviceKeys(DevicePlatform& platform, DevInfoHandle set, SpDevinfoData& device) {
  // A key that cannot be deleted stays; nothing else depends on it.
  platform.SetupDiDeleteDevRegKey(set, &device, kDicsFlagGlobal, 0xFFFFFFFFu, kDiregBoth);
}

bool RemoveDeviceNT(DevicePlatform& platform, DevInfoHandle set, SpDevinfoData& device) {
  return RemoveWithClassInstaller(platform, set, device);
}

bool RemoveDevice9x(DevicePlatform& platform, DevInfoHandle set, SpDevinfoData& device) {
  platform.SetupDiDeleteDevRegKey(set, &device, kDicsFlagGlobal, 0, kDiregDrv);
  if (!RemoveWithClassInstaller(platform, set, device)) return false;
  platform.SetupDiDeleteDevRegKey(set, &device, kDicsFlagGlobal, 0, kDiregDev);
  return true;
}

}  // namespace engine
