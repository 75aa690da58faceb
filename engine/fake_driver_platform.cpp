// FakeDevicePlatform's device interfaces, registry, service control manager
// and files: what the driver cleanup and the manufacturer lookup ask.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <optional>

#include "engine/fake_device_platform.h"

namespace engine {
namespace {

constexpr int32_t kErrorFileNotFound = 2;
constexpr int32_t kErrorInvalidHandle = 6;
constexpr int32_t kErrorMoreData = 234;
constexpr int32_t kErrorAccessDenied = 5;
constexpr int32_t kErrorNoMoreItems = 259;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorServiceDoesNotExist = 1060;
constexpr ServiceHandle kManager = 0x5C0;

std::string Text(const char* text) { return text ? text : "null"; }

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%x", value);
  return text;
}

}  // namespace

bool NoCaseLess::operator()(const std::string& a, const std::string& b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
  });
}

bool NoCaseEqual(const std::string& a, const std::string& b) {
  return !NoCaseLess{}(a, b) && !NoCaseLess{}(b, a);
}

bool FakeDevicePlatform::SetupDiEnumDeviceInterfaces(DevInfoHandle set, SpDevinfoData* device,
                                                     const Guid* interface_class, uint32_t index,
                                                     SpDeviceInterfaceData* interface_data) {
  calls.push_back("SetupDiEnumDeviceInterfaces(" + std::string(device ? "device" : "null") + ", " +
                  std::to_string(index) + ")");
  if (device || !interface_class || !interface_data ||
      interface_data->cbSize != sizeof(SpDeviceInterfaceData)) {
    return Fail(kErrorInvalidParameter);
  }
  if (set == kInvalidHandleValue || open_sets_ == 0) return Fail(kErrorInvalidHandle);
  uint32_t seen = 0;
  for (size_t at : snapshot_) {
    const auto& own = devices[at].interface_class;
    if (!own || std::memcmp(&*own, interface_class, sizeof(Guid)) != 0) continue;
    if (seen++ != index) continue;
    interface_data->InterfaceClassGuid = *own;
    interface_data->Reserved = at + 1;
    return true;
  }
  return Fail(kErrorNoMoreItems);
}

bool FakeDevicePlatform::SetupDiGetDeviceInterfaceDetailA(DevInfoHandle set,
                                                          SpDeviceInterfaceData* interface_data,
                                                          uint8_t* detail, uint32_t detail_size,
                                                          uint32_t* required_size,
                                                          SpDevinfoData* device) {
  calls.push_back("SetupDiGetDeviceInterfaceDetailA(" + std::string(detail ? "buffer" : "null") +
                  ")");
  if (set == kInvalidHandleValue || open_sets_ == 0 || !interface_data ||
      interface_data->Reserved == 0 || interface_data->Reserved > devices.size()) {
    return Fail(kErrorInvalidParameter);
  }
  const std::string path = "\\\\?\\" + devices[interface_data->Reserved - 1].instance_id;
  const auto required = static_cast<uint32_t>(sizeof(uint32_t) + path.size() + 1);
  if (required_size) *required_size = required;
  if (!detail || detail_size < required) return Fail(kErrorInsufficientBuffer);
  uint32_t cb_size = 0;
  std::memcpy(&cb_size, detail, sizeof(cb_size));
  if (cb_size != sizeof(SpDeviceInterfaceDetailDataA)) return Fail(kErrorInvalidParameter);
  std::memcpy(detail + sizeof(uint32_t), path.c_str(), path.size() + 1);
  if (device) {
    if (device->cbSize != sizeof(SpDevinfoData)) return Fail(kErrorInvalidParameter);
    device->DevInst = static_cast<uint32_t>(interface_data->Reserved);
  }
  return true;
}

bool FakeDevicePlatform::SetupDiGetDeviceInstanceIdA(DevInfoHandle set, SpDevinfoData* device,
                                                     char* buffer, uint32_t buffer_size,
                                                     uint32_t* required_size) {
  FakeDevice* target = Resolve(set, device);
  calls.push_back("SetupDiGetDeviceInstanceIdA(" + std::string(target ? target->instance_id : "?") +
                  ", " + std::to_string(buffer_size) + ")");
  if (!target) return false;
  const auto required = static_cast<uint32_t>(target->instance_id.size() + 1);
  if (required_size) *required_size = required;
  if (!buffer || buffer_size < required) return Fail(kErrorInsufficientBuffer);
  std::memcpy(buffer, target->instance_id.c_str(), required);
  return true;
}

KeyHandle FakeDevicePlatform::SetupDiOpenDevRegKey(DevInfoHandle set, SpDevinfoData* device,
                                                   uint32_t scope, uint32_t hw_profile,
                                                   uint32_t key_type, uint32_t access) {
  FakeDevice* target = Resolve(set, device);
  calls.push_back("SetupDiOpenDevRegKey(" + std::string(target ? target->instance_id : "?") +
                  ", " + std::to_string(scope) + ", " + std::to_string(hw_profile) + ", " +
                  std::to_string(key_type) + ", " + Hex(access) + ")");
  if (!target || key_type != kDiregDrv || target->driver_values.empty()) {
    return Fail(kErrorFileNotFound), kInvalidHandleValue;
  }
  const KeyHandle key = next_handle_++;
  keys_[key] = "driver:" + std::to_string(device->DevInst - 1);
  key_access_[key] = access;
  return key;
}

int32_t FakeDevicePlatform::RegOpenKeyExA(KeyHandle root, const char* sub_key, uint32_t,
                                          uint32_t access, KeyHandle* key) {
  calls.push_back("RegOpenKeyExA(" + Hex(static_cast<uint32_t>(root)) + ", " + Text(sub_key) +
                  ", " + Hex(access) + ")");
  for (size_t at = 0; at < devices.size(); ++at) {
    if (root != kHkeyLocalMachine || !devices[at].manufacturer) continue;
    if (!NoCaseEqual("ENUM\\" + devices[at].instance_id, Text(sub_key))) continue;
    *key = next_handle_++;
    keys_[*key] = "enum:" + std::to_string(at);
    return 0;
  }
  return kErrorFileNotFound;
}

int32_t FakeDevicePlatform::RegQueryValueExA(KeyHandle key, const char* value_name,
                                             uint32_t* type, uint8_t* data, uint32_t* data_size) {
  calls.push_back("RegQueryValueExA(" + Text(value_name) + ")");
  const auto it = keys_.find(key);
  if (it == keys_.end()) return kErrorInvalidHandle;
  std::optional<std::string> text;
  if (it->second.rfind("enum:", 0) == 0) {
    if (Text(value_name) == "Mfg") text = *devices[std::stoul(it->second.substr(5))].manufacturer;
  } else {
    // A driver key: reading needs the query right.
    if (!(key_access_[key] & kKeyQueryValue)) return kErrorAccessDenied;
    for (const auto& [name, value] : devices[std::stoul(it->second.substr(7))].driver_values) {
      if (NoCaseEqual(name, Text(value_name))) text = value;
    }
  }
  if (!text) return kErrorFileNotFound;
  const auto required = static_cast<uint32_t>(text->size() + 1);
  if (type) *type = kRegSz;
  if (!data) return (*data_size = required), 0;
  if (*data_size < required) return (*data_size = required), kErrorMoreData;
  std::memcpy(data, text->c_str(), required);
  *data_size = required;
  return 0;
}

int32_t FakeDevicePlatform::RegEnumValueA(KeyHandle key, uint32_t index, char* name,
                                          uint32_t* name_size, uint32_t* type, uint8_t* data,
                                          uint32_t* data_size) {
  calls.push_back("RegEnumValueA(" + std::to_string(index) + ", " + std::to_string(*name_size) +
                  ", " + std::to_string(data_size ? *data_size : 0) + ")");
  const auto it = keys_.find(key);
  if (it == keys_.end() || it->second.rfind("driver:", 0) != 0) return kErrorInvalidHandle;
  // As on the NT family: enumerating needs the query right.
  if (!(key_access_[key] & kKeyQueryValue)) return kErrorAccessDenied;
  const auto& values = devices[std::stoul(it->second.substr(7))].driver_values;
  if (index >= values.size()) return kErrorNoMoreItems;
  const auto& [value_name, value_data] = values[index];
  if (value_name.size() + 1 > *name_size || !data_size || value_data.size() + 1 > *data_size) {
    return kErrorMoreData;
  }
  std::memcpy(name, value_name.c_str(), value_name.size() + 1);
  *name_size = static_cast<uint32_t>(value_name.size());
  std::memcpy(data, value_data.c_str(), value_data.size() + 1);
  *data_size = static_cast<uint32_t>(value_data.size() + 1);
  if (type) *type = 1;  // REG_SZ
  return 0;
}

int32_t FakeDevicePlatform::RegCloseKey(KeyHandle key) {
  calls.push_back("RegCloseKey");
  if (keys_.erase(key) == 0) {
    ADD_FAILURE() << "closing a key that is not open";
    return kErrorInvalidHandle;
  }
  return 0;
}

const std::string* FakeDevicePlatform::ServiceOf(ServiceHandle handle) const {
  const auto it = service_handles_.find(handle);
  return it == service_handles_.end() || it->second.empty() ? nullptr : &it->second;
}

ServiceHandle FakeDevicePlatform::OpenSCManagerA(const char* machine, const char* database,
                                                 uint32_t access) {
  calls.push_back("OpenSCManagerA(" + Text(machine) + ", " + Text(database) + ", " + Hex(access) +
                  ")");
  if (service_manager_fails) return Fail(5), 0;
  const ServiceHandle handle = kManager + next_handle_++;
  service_handles_[handle] = "";
  return handle;
}

ServiceHandle FakeDevicePlatform::OpenServiceA(ServiceHandle manager, const char* name,
                                               uint32_t access) {
  calls.push_back("OpenServiceA(" + Text(name) + ", " + Hex(access) + ")");
  const auto it = service_handles_.find(manager);
  if (it == service_handles_.end() || !it->second.empty()) return Fail(kErrorInvalidHandle), 0;
  if (!name || !services.count(name)) return Fail(kErrorServiceDoesNotExist), 0;
  const ServiceHandle handle = kManager + next_handle_++;
  service_handles_[handle] = name;
  return handle;
}

bool FakeDevicePlatform::QueryServiceConfigA(ServiceHandle service, uint8_t* config,
                                             uint32_t size, uint32_t* needed) {
  const std::string* name = ServiceOf(service);
  calls.push_back("QueryServiceConfigA(" + (name ? *name : "?") + ", " + std::to_string(size) + ")");
  if (!name || !services.count(*name)) return Fail(kErrorInvalidHandle);
  const std::string& image = services.at(*name);
  const auto required = static_cast<uint32_t>(sizeof(QueryServiceConfigData) + image.size() + 1);
  *needed = required;
  if (!config || size < required) return Fail(kErrorInsufficientBuffer);
  QueryServiceConfigData data{};
  data.dwServiceType = 1;  // SERVICE_KERNEL_DRIVER
  const auto start = service_start_types.find(*name);
  data.dwStartType = start == service_start_types.end() ? 3 : start->second;
  char* text = reinterpret_cast<char*>(config + sizeof(data));
  std::memcpy(text, image.c_str(), image.size() + 1);
  data.lpBinaryPathName = text;
  std::memcpy(config, &data, sizeof(data));
  return true;
}

bool FakeDevicePlatform::DeleteService(ServiceHandle service) {
  const std::string* name = ServiceOf(service);
  calls.push_back("DeleteService(" + (name ? *name : "?") + ")");
  if (!name) return Fail(kErrorInvalidHandle);
  if (const auto error = delete_service_errors.find(*name); error != delete_service_errors.end()) {
    return Fail(error->second);
  }
  return services.erase(*name) != 0;
}

bool FakeDevicePlatform::CloseServiceHandle(ServiceHandle handle) {
  calls.push_back("CloseServiceHandle");
  if (service_handles_.erase(handle) == 0) {
    ADD_FAILURE() << "closing a service handle that is not open";
    return Fail(kErrorInvalidHandle);
  }
  return true;
}

uint32_t FakeDevicePlatform::GetWindowsDirectoryA(char* buffer, uint32_t size) {
  const auto length = static_cast<uint32_t>(windows_directory.size());
  if (size <= length) return length + 1;
  std::memcpy(buffer, windows_directory.c_str(), length + 1);
  return length;
}

bool FakeDevicePlatform::DeleteFileA(const char* path) {
  calls.push_back("DeleteFileA(" + Text(path) + ")");
  return files.erase(Text(path)) != 0 || Fail(static_cast<uint32_t>(kErrorFileNotFound));
}

}  // namespace engine
