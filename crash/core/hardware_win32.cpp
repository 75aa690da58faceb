// The devices of the report's hardware list, from the system's device
// database.
#include <windows.h>
#include <setupapi.h>

#include <vector>

#include "crash/core/registry_value_win32.h"
#include "crash/core/system_facts_win32.h"
#include "crash/delivery/library_win32.h"
#include "crash/delivery/registry_key_win32.h"
#include "crash/modules/os_version.h"

namespace qor {
namespace {

constexpr char kNtClassKey[] = "System\\CurrentControlSet\\Control\\Class\\";
constexpr char k9xClassKey[] = "System\\CurrentControlSet\\Services\\Class\\";

// The Setup API functions the list needs, from the library loaded for one
// collection; all or nothing.
struct SetupApi {
  using GetClassDevs = HDEVINFO(WINAPI*)(const GUID*, const char*, HWND, DWORD);
  using DestroyList = BOOL(WINAPI*)(HDEVINFO);
  using EnumDevice = BOOL(WINAPI*)(HDEVINFO, DWORD, SP_DEVINFO_DATA*);
  using GetProperty = BOOL(WINAPI*)(HDEVINFO, SP_DEVINFO_DATA*, DWORD, DWORD*, BYTE*, DWORD, DWORD*);

  explicit SetupApi(const Library& library)
      : get_class_devs(library.Find<GetClassDevs>("SetupDiGetClassDevsA")),
        destroy_list(library.Find<DestroyList>("SetupDiDestroyDeviceInfoList")),
        enum_device(library.Find<EnumDevice>("SetupDiEnumDeviceInfo")),
        get_property(library.Find<GetProperty>("SetupDiGetDeviceRegistryPropertyA")) {}
  bool Complete() const { return get_class_devs && destroy_list && enum_device && get_property; }

  GetClassDevs get_class_devs;
  DestroyList destroy_list;
  EnumDevice enum_device;
  GetProperty get_property;
};

// A device list, destroyed on every path.
class DeviceList {
 public:
  DeviceList(const SetupApi& api, HDEVINFO list) : api_(api), list_(list) {}
  DeviceList(const DeviceList&) = delete;
  DeviceList& operator=(const DeviceList&) = delete;
  ~DeviceList() {
    if (list_ != INVALID_HANDLE_VALUE) api_.destroy_list(list_);
  }
  HDEVINFO get() const { return list_; }

 private:
  const SetupApi& api_;
  HDEVINFO list_;
};

// A property as text: its size first, then a buffer of twice that; up to
// the first NUL (the first id of a multi-text); empty when missing.
std::string Property(const SetupApi& api, HDEVINFO list, SP_DEVINFO_DATA& device, DWORD property) {
  DWORD size = 0;
  api.get_property(list, &device, property, nullptr, nullptr, 0, &size);
  if (size == 0) return {};
  std::vector<char> buffer(size_t{size} * 2 + 1);
  if (!api.get_property(list, &device, property, nullptr, reinterpret_cast<BYTE*>(buffer.data()),
                        static_cast<DWORD>(buffer.size() - 1), nullptr)) {
    return {};
  }
  return buffer.data();
}

// A hidden network component says so in its driver key.
bool IsHiddenComponent(const std::string& driver_key) {
  uint32_t characteristics = 0;
  return RegistryDword(HKEY_LOCAL_MACHINE, driver_key.c_str(), "Characteristics", characteristics) &&
         (characteristics & 0x8) != 0;
}

void CollectNt(THardwareList& list) {
  const Library library("setupapi.dll");
  const SetupApi api(library);
  if (!api.Complete()) return;
  const DeviceList devices(api, api.get_class_devs(nullptr, nullptr, nullptr,
                                                   DIGCF_ALLCLASSES | DIGCF_PRESENT));
  if (devices.get() == INVALID_HANDLE_VALUE) return;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD index = 0; api.enum_device(devices.get(), index, &device); ++index) {
    const std::string class_name = Property(api, devices.get(), device, SPDRP_CLASS);
    if (SkipNtDevice(class_name, Property(api, devices.get(), device, SPDRP_HARDWAREID))) continue;
    const std::string guid = Property(api, devices.get(), device, SPDRP_CLASSGUID);
    std::string display = RegistryText(HKEY_LOCAL_MACHINE, (kNtClassKey + guid).c_str(), nullptr);
    if (display.empty()) display = guid;
    if (display.empty()) continue;
    THardwareDevice entry;
    entry.Description = Property(api, devices.get(), device, SPDRP_FRIENDLYNAME);
    if (entry.Description.empty()) {
      entry.Description = Property(api, devices.get(), device, SPDRP_DEVICEDESC);
    }
    const std::string driver = Property(api, devices.get(), device, SPDRP_DRIVER);
    if (!driver.empty()) entry.DriverKey = kNtClassKey + driver;
    if (!entry.DriverKey.empty() && IsHiddenComponent(entry.DriverKey)) continue;
    AddHardware(list, display, std::move(entry));
  }
}

void Collect9x(THardwareList& list) {
  const RegistryKey devices(HKEY_DYN_DATA, "Config Manager\\Enum");
  if (devices.get() == nullptr) return;
  DWORD count = 0;
  if (RegQueryInfoKeyA(devices.get(), nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    return;
  }
  for (DWORD index = count; index-- > 0;) {
    char name[MAX_PATH];
    if (RegEnumKeyA(devices.get(), index, name, sizeof name) != ERROR_SUCCESS) continue;
    const std::string node = std::string("Config Manager\\Enum\\") + name;
    uint32_t problem = 0;
    const bool disabled = RegistryDword(HKEY_DYN_DATA, node.c_str(), "Problem", problem) && problem == 22;
    const std::string hardware_key = RegistryText(HKEY_DYN_DATA, node.c_str(), "HardWareKey");
    if (Skip9xDevice(disabled, hardware_key)) continue;
    const std::string enum_key = "Enum\\" + hardware_key;
    const std::string class_name = RegistryText(HKEY_LOCAL_MACHINE, enum_key.c_str(), "Class");
    if (Skip9xClass(class_name)) continue;
    const std::string display =
        RegistryText(HKEY_LOCAL_MACHINE, (k9xClassKey + class_name).c_str(), nullptr);
    THardwareDevice entry;
    entry.Description = RegistryText(HKEY_LOCAL_MACHINE, enum_key.c_str(), "DeviceDesc");
    const std::string letters =
        RegistryText(HKEY_LOCAL_MACHINE, enum_key.c_str(), "CurrentDriveLetterAssignment");
    if (!letters.empty()) entry.Description = "[" + letters + ":] " + entry.Description;
    const std::string driver = RegistryText(HKEY_LOCAL_MACHINE, enum_key.c_str(), "Driver");
    if (!driver.empty()) entry.DriverKey = k9xClassKey + driver;
    AddHardware(list, display, std::move(entry));
  }
}

}  // namespace

void CollectHardware(THardwareList& list) {
  if (CurrentOs().IsNT) {
    CollectNt(list);
  } else {
    Collect9x(list);
  }
}

TDriverFacts DriverFactsOf(const std::string& driver_key) {
  const char* key = driver_key.c_str();
  return {RegistryText(HKEY_LOCAL_MACHINE, key, "ProviderName"),
          RegistryText(HKEY_LOCAL_MACHINE, key, "DriverVersion"),
          RegistryText(HKEY_LOCAL_MACHINE, key, "DriverDate")};
}

}  // namespace qor
