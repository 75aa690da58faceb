#include "engine/manufacturer_lookup.h"

#include <cstring>
#include <vector>

#include "engine/local_buffer.h"
#include "engine/platform_handle.h"

namespace engine {
namespace {

constexpr char kEnumKeyPrefix[] = "ENUM\\";
constexpr char kManufacturerValue[] = "Mfg";

// The instance id of the device that owns `interface_data`; empty on failure.
std::string InstanceIdOfInterface(DevicePlatform& platform, DevInfoHandle set,
                                  SpDeviceInterfaceData& interface_data) {
  uint32_t required = 0;
  platform.SetupDiGetDeviceInterfaceDetailA(set, &interface_data, nullptr, 0, &required, nullptr);
  LocalBuffer detail(platform, required);
  if (!detail.data() || detail.size() < sizeof(SpDeviceInterfaceDetailDataA)) return {};
  const uint32_t cb_size = sizeof(SpDeviceInterfaceDetailDataA);
  std::memcpy(detail.data(), &cb_size, sizeof(cb_size));
  SpDevinfoData device{};
  device.cbSize = sizeof(device);
  if (!platform.SetupDiGetDeviceInterfaceDetailA(set, &interface_data, detail.data(),
                                                 detail.size(), nullptr, &device)) {
    return {};
  }
  uint32_t id_size = 0;
  platform.SetupDiGetDeviceInstanceIdA(set, &device, nullptr, 0, &id_size);
  if (id_size == 0) return {};
  std::vector<char> id(id_size + 1, '\0');  // the spare zero ends a text the system did not
  if (!platform.SetupDiGetDeviceInstanceIdA(set, &device, id.data(), id_size, nullptr)) return {};
  return id.data();
}

// The string value `name` of the open key; empty when missing.
std::string ReadStringValue(DevicePlatform& platform, KeyHandle key, const char* name) {
  uint32_t size = 0;
  if (platform.RegQueryValueExA(key, name, nullptr, nullptr, &size) != kErrorSuccess || size == 0) {
    return {};
  }
  std::vector<uint8_t> data(size + 1, 0);
  uint32_t type = 0;
  if (platform.RegQueryValueExA(key, name, &type, data.data(), &size) != kErrorSuccess) return {};
  return reinterpret_cast<const char*>(data.data());
}

}  // namespace

std::string LookUpManufacturer(DevicePlatform& platform, const Guid& interface_class) {
  const DevInfoHandle handle =
      platform.SetupDiGetClassDevsA(&interface_class, nullptr, 0, kDigcfDeviceInterface);
  if (handle == kInvalidHandleValue) return {};
  DeviceInfoSet set(platform, handle);
  SpDeviceInterfaceData interface_data{};
  interface_data.cbSize = sizeof(interface_data);
  if (!platform.SetupDiEnumDeviceInterfaces(set.get(), nullptr, &interface_class, 0,
                                            &interface_data)) {
    return {};
  }
  const std::string instance_id = InstanceIdOfInterface(platform, set.get(), interface_data);
  if (instance_id.empty()) return {};
  KeyHandle key_handle = 0;
  if (platform.RegOpenKeyExA(kHkeyLocalMachine, (kEnumKeyPrefix + instance_id).c_str(), 0,
                             kKeyQueryValue, &key_handle) != kErrorSuccess) {
    return {};
  }
  OwnedKey key(platform, key_handle);
  return ReadStringValue(platform, key.get(), kManufacturerValue);
}

}  // namespace engine
