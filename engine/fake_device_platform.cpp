#include "engine/fake_device_platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace engine {
namespace {

constexpr DevInfoHandle kSet = 0x5E7;
constexpr Handle kThread = static_cast<Handle>(-2);
constexpr Handle kProcess = static_cast<Handle>(-1);
constexpr ModuleHandle kAdvapi32 = 0x77000000;
constexpr ProcAddress kCheckTokenMembership = 0x77001000;
constexpr ModuleHandle kSetupapi = 0x78000000;
constexpr ProcAddress kSetupUninstallOemInf = 0x78001000;
constexpr ModuleHandle kSfc = 0x79000000;
constexpr ProcAddress kSfcIsFileProtected = 0x79001000;
constexpr uint32_t kShutdownLuid = 19;

constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorInvalidData = 13;
constexpr uint32_t kErrorNotSupported = 50;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorProcNotFound = 127;
constexpr uint32_t kErrorNoMoreItems = 259;
constexpr uint32_t kErrorNoSuchPrivilege = 1313;
constexpr uint32_t kErrorInvalidUserBuffer = 1784;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorInfInUseByDevices = 0xE000023D;

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%x", value);
  return text;
}

std::string Text(const char* text) { return text ? text : "null"; }

// Upper-casing of code page 1252: ASCII, the accented Latin-1 letters and
// the few letters of 0x80-0x9F; 0xDF and 0xF7 have no upper case.
char UpperCp1252(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u >= 'a' && u <= 'z') return static_cast<char>(u - 0x20);
  if (u >= 0xE0 && u <= 0xFE && u != 0xF7) return static_cast<char>(u - 0x20);
  switch (u) {
    case 0x9A: return static_cast<char>(0x8A);
    case 0x9C: return static_cast<char>(0x8C);
    case 0x9E: return static_cast<char>(0x8E);
    case 0xFF: return static_cast<char>(0x9F);
    default: return c;
  }
}

bool IsLeadByte(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 0x81 && u <= 0x9F) || (u >= 0xE0 && u <= 0xFC);
}

std::string PropertyBytes(const FakeDevice& device, uint32_t property, bool* present) {
  std::string bytes;
  *present = false;
  if (property == kSpdrpService && device.service) {
    *present = true;
    bytes = *device.service + '\0';
  } else if (property == kSpdrpHardwareId && device.hardware_ids) {
    *present = true;
    for (const std::string& id : *device.hardware_ids) bytes += id + '\0';
    bytes += '\0';
  }
  return bytes;
}

std::string DeviceName(const FakeDevice* device) {
  return device ? device->instance_id : "device?";
}

std::string SystemText(uint32_t error) {
  switch (error) {
    case kErrorAccessDenied: return "Access is denied.\r\n";
    case kErrorNotAllAssigned:
      return "Not all privileges or groups referenced are assigned to the caller.\r\n";
    case kErrorNoSuchPrivilege: return "A specified privilege does not exist.\r\n";
    default: return {};
  }
}

}  // namespace

FakeDevicePlatform::FakeDevicePlatform() = default;

FakeDevicePlatform::~FakeDevicePlatform() {
  for (uint8_t* block : buffers_) delete[] block;
}

std::vector<std::string> FakeDevicePlatform::TakeCalls() { return std::exchange(calls, {}); }

void FakeDevicePlatform::ExpectAllReleased() const {
  EXPECT_EQ(open_sets(), 0);
  EXPECT_EQ(open_driver_lists(), 0);
  EXPECT_EQ(open_keys(), 0);
  EXPECT_EQ(open_services(), 0);
  EXPECT_EQ(loaded_libraries(), 0);
  EXPECT_EQ(live_buffers(), 0);
}

std::vector<std::string> FakeDevicePlatform::CallsOf(const std::string& prefix) const {
  std::vector<std::string> found;
  for (const std::string& call : calls) {
    if (call.rfind(prefix, 0) == 0) found.push_back(call);
  }
  return found;
}

bool FakeDevicePlatform::Fail(uint32_t error) {
  last_error_ = error;
  return false;
}

FakeDevice* FakeDevicePlatform::Resolve(DevInfoHandle set, const SpDevinfoData* device) {
  if (set != kSet || open_sets_ == 0) {
    ADD_FAILURE() << "device call on a set that is not open";
    Fail(kErrorInvalidHandle);
    return nullptr;
  }
  if (!device || device->cbSize != sizeof(SpDevinfoData) || device->DevInst == 0 ||
      device->DevInst > devices.size()) {
    Fail(kErrorInvalidParameter);
    return nullptr;
  }
  return &devices[device->DevInst - 1];
}

std::string FakeDevicePlatform::SidText(SidHandle sid) const {
  if (auto it = sids_.find(sid); it != sids_.end()) return it->second;
  if (auto it = group_sids_.find(sid); it != group_sids_.end()) return it->second;
  return "sid?";
}

DevInfoHandle FakeDevicePlatform::SetupDiGetClassDevsW(const Guid* class_guid,
                                                       const char16_t* enumerator, Handle parent,
                                                       uint32_t flags) {
  calls.push_back("SetupDiGetClassDevsW(" + std::string(class_guid ? "guid" : "null") + ", " +
                  (enumerator ? "enumerator" : "null") + ", " + std::to_string(parent) + ", " +
                  Hex(flags) + ")");
  return OpenSet();
}

DevInfoHandle FakeDevicePlatform::SetupDiGetClassDevsA(const Guid* class_guid,
                                                       const char* enumerator, Handle parent,
                                                       uint32_t flags) {
  calls.push_back("SetupDiGetClassDevsA(" + std::string(class_guid ? "guid" : "null") + ", " +
                  Text(enumerator) + ", " + std::to_string(parent) + ", " + Hex(flags) + ")");
  return OpenSet();
}

DevInfoHandle FakeDevicePlatform::OpenSet() {
  if (class_devs_fails) return Fail(kErrorAccessDenied), kInvalidHandleValue;
  EXPECT_EQ(open_sets_, 0) << "a second set opened while one is open";
  ++open_sets_;
  snapshot_.clear();
  for (size_t index = 0; index < devices.size(); ++index) {
    if (!devices[index].removed) snapshot_.push_back(index);
  }
  return kSet;
}

bool FakeDevicePlatform::SetupDiEnumDeviceInfo(DevInfoHandle set, uint32_t index,
                                               SpDevinfoData* device) {
  calls.push_back("SetupDiEnumDeviceInfo(" + std::to_string(index) + ")");
  if (set != kSet || open_sets_ == 0) return Fail(kErrorInvalidHandle);
  if (!device || device->cbSize != sizeof(SpDevinfoData)) return Fail(kErrorInvalidUserBuffer);
  if (index >= snapshot_.size()) return Fail(kErrorNoMoreItems);
  device->ClassGuid = Guid{};
  device->DevInst = static_cast<uint32_t>(snapshot_[index] + 1);
  device->Reserved = 0;
  return true;
}

bool FakeDevicePlatform::ReadProperty(const char* name, DevInfoHandle set, SpDevinfoData* device,
                                      uint32_t property, uint8_t* buffer, uint32_t buffer_size,
                                      uint32_t* required_size, uint32_t size_factor) {
  FakeDevice* target = Resolve(set, device);
  calls.push_back(std::string(name) + "(" + DeviceName(target) + ", " + std::to_string(property) +
                  ", " + std::to_string(buffer_size) + ")");
  if (!target) return false;
  bool present = false;
  const std::string bytes = PropertyBytes(*target, property, &present);
  if (!present) return Fail(kErrorInvalidData);
  const auto required = static_cast<uint32_t>(bytes.size() * size_factor);
  if (required_size) *required_size = required;
  if (!buffer || buffer_size < required) return Fail(kErrorInsufficientBuffer);
  if (target->properties_unreadable) return Fail(kErrorInvalidData);
  for (size_t at = 0; at < bytes.size(); ++at) {
    buffer[at * size_factor] = static_cast<uint8_t>(bytes[at]);
  }
  return true;
}

bool FakeDevicePlatform::SetupDiGetDeviceRegistryPropertyW(DevInfoHandle set,
                                                           SpDevinfoData* device,
                                                           uint32_t property, uint32_t*,
                                                           uint8_t* buffer, uint32_t buffer_size,
                                                           uint32_t* required_size) {
  return ReadProperty("SetupDiGetDeviceRegistryPropertyW", set, device, property, buffer,
                      buffer_size, required_size, 2);
}

bool FakeDevicePlatform::SetupDiGetDeviceRegistryPropertyA(DevInfoHandle set,
                                                           SpDevinfoData* device,
                                                           uint32_t property, uint32_t*,
                                                           uint8_t* buffer, uint32_t buffer_size,
                                                           uint32_t* required_size) {
  return ReadProperty("SetupDiGetDeviceRegistryPropertyA", set, device, property, buffer,
                      buffer_size, required_size, 1);
}

bool FakeDevicePlatform::SetupDiDeleteDevRegKey(DevInfoHandle set, SpDevinfoData* device,
                                                uint32_t scope, uint32_t hw_profile,
                                                uint32_t key_type) {
  FakeDevice* target = Resolve(set, device);
  calls.push_back("SetupDiDeleteDevRegKey(" + DeviceName(target) + ", " + std::to_string(scope) +
                  ", " + Hex(hw_profile) + ", " + std::to_string(key_type) + ")");
  return target != nullptr;
}

bool FakeDevicePlatform::SetupDiSetClassInstallParamsA(DevInfoHandle set, SpDevinfoData* device,
                                                       const SpClassinstallHeader* params,
                                                       uint32_t params_size) {
  FakeDevice* target = Resolve(set, device);
  std::string text = "SetupDiSetClassInstallParamsA(" + DeviceName(target);
  if (params && params_size >= sizeof(SpRemovedeviceParams)) {
    // The header is the first member of the removal parameters.
    const auto* remove = reinterpret_cast<const SpRemovedeviceParams*>(params);
    text += ", " + std::to_string(params->cbSize) + ", " + std::to_string(params->InstallFunction) +
            ", " + std::to_string(remove->Scope) + ", " + std::to_string(remove->HwProfile);
  }
  calls.push_back(text + ", " + std::to_string(params_size) + ")");
  if (!target || !params || params->cbSize != sizeof(SpClassinstallHeader)) {
    return Fail(kErrorInvalidParameter);
  }
  if (target->removal_fails) return Fail(kErrorNotSupported);
  return true;
}

bool FakeDevicePlatform::SetupDiCallClassInstaller(uint32_t install_function, DevInfoHandle set,
                                                   SpDevinfoData* device) {
  FakeDevice* target = Resolve(set, device);
  calls.push_back("SetupDiCallClassInstaller(" + std::to_string(install_function) + ", " +
                  DeviceName(target) + ")");
  if (!target || install_function != kDifRemove || target->removal_fails) {
    return Fail(kErrorNotSupported);
  }
  target->removed = true;
  return true;
}

bool FakeDevicePlatform::SetupDiBuildDriverInfoList(DevInfoHandle set, SpDevinfoData* device,
                                                    uint32_t driver_type) {
  FakeDevice* target = Resolve(set, device);
  calls.push_back("SetupDiBuildDriverInfoList(" + DeviceName(target) + ", " +
                  std::to_string(driver_type) + ")");
  if (!target) return false;
  ++open_driver_lists_;
  return true;
}

bool FakeDevicePlatform::SetupDiEnumDriverInfoA(DevInfoHandle set, SpDevinfoData* device,
                                                uint32_t driver_type, uint32_t index,
                                                SpDrvinfoDataA* driver) {
  FakeDevice* target = Resolve(set, device);
  calls.push_back("SetupDiEnumDriverInfoA(" + DeviceName(target) + ", " +
                  std::to_string(driver_type) + ", " + std::to_string(index) + ")");
  if (!target || open_driver_lists_ == 0) return Fail(kErrorInvalidParameter);
  if (!driver || driver->cbSize != sizeof(SpDrvinfoDataA)) return Fail(kErrorInvalidUserBuffer);
  if (index >= target->inf_files.size()) return Fail(kErrorNoMoreItems);
  driver->DriverType = driver_type;
  driver->Reserved = index;
  std::snprintf(driver->Description, sizeof(driver->Description), "Driver %u", index);
  return true;
}

bool FakeDevicePlatform::SetupDiGetDriverInfoDetailA(DevInfoHandle set, SpDevinfoData* device,
                                                     SpDrvinfoDataA* driver, uint8_t* detail,
                                                     uint32_t detail_size,
                                                     uint32_t* required_size) {
  FakeDevice* target = Resolve(set, device);
  calls.push_back("SetupDiGetDriverInfoDetailA(" + DeviceName(target) + ", " +
                  (detail ? "buffer" : "null") + ")");
  if (!target || !driver || driver->Reserved >= target->inf_files.size()) {
    return Fail(kErrorInvalidParameter);
  }
  if (target->driver_details_unsized) return Fail(kErrorInvalidParameter);
  const std::string& inf = target->inf_files[driver->Reserved];
  const auto models = inf_models.find(inf);
  std::string ids;
  for (const std::string& id : models != inf_models.end()
                                   ? models->second
                                   : target->hardware_ids.value_or(std::vector<std::string>{})) {
    ids += id + '\0';
  }
  ids += '\0';
  const auto required = static_cast<uint32_t>(offsetof(SpDrvinfoDetailDataA, HardwareID) + ids.size());
  if (required_size) *required_size = required;
  if (!detail || detail_size < required) return Fail(kErrorInsufficientBuffer);
  uint32_t cb_size = 0;
  std::memcpy(&cb_size, detail, sizeof(cb_size));
  if (cb_size != sizeof(SpDrvinfoDetailDataA)) return Fail(kErrorInvalidUserBuffer);
  char* name = reinterpret_cast<char*>(detail + offsetof(SpDrvinfoDetailDataA, InfFileName));
  std::memcpy(name, inf.c_str(), std::min<size_t>(inf.size() + 1, 260));
  std::memcpy(detail + offsetof(SpDrvinfoDetailDataA, HardwareID), ids.data(), ids.size());
  return true;
}

bool FakeDevicePlatform::SetupDiDestroyDriverInfoList(DevInfoHandle set, SpDevinfoData* device,
                                                      uint32_t driver_type) {
  FakeDevice* target = Resolve(set, device);
  calls.push_back("SetupDiDestroyDriverInfoList(" + DeviceName(target) + ", " +
                  std::to_string(driver_type) + ")");
  if (!target) return false;
  EXPECT_GT(open_driver_lists_, 0) << "driver list destroyed that was not built";
  --open_driver_lists_;
  return true;
}

bool FakeDevicePlatform::SetupDiDestroyDeviceInfoList(DevInfoHandle set) {
  calls.push_back("SetupDiDestroyDeviceInfoList");
  if (set != kSet || open_sets_ == 0) {
    ADD_FAILURE() << "destroying a set that is not open";
    return Fail(kErrorInvalidHandle);
  }
  --open_sets_;
  return true;
}

bool FakeDevicePlatform::GetVersionExA(OsVersionInfoA* info) {
  ++version_queries;
  if (!info || info->dwOSVersionInfoSize != sizeof(OsVersionInfoA)) {
    return Fail(kErrorInvalidParameter);
  }
  info->dwMajorVersion = major_version;
  info->dwPlatformId = platform_id;
  return true;
}

uint32_t FakeDevicePlatform::GetVersion() {
  calls.push_back("GetVersion");
  return major_version | (platform_id == kVerPlatformWin32Nt ? 0 : 0x80000000u);
}

uint8_t* FakeDevicePlatform::LocalAlloc(uint32_t flags, uint32_t bytes) {
  EXPECT_EQ(flags, kLptr);
  if (out_of_memory) return nullptr;
  ++allocations;
  // Exactly `bytes` long, so that the sanitizer sees any overrun.
  auto* block = new uint8_t[bytes == 0 ? 1 : bytes]();
  buffers_.insert(block);
  return block;
}

void FakeDevicePlatform::LocalFree(uint8_t* block) {
  if (buffers_.erase(block) == 0) {
    ADD_FAILURE() << "freeing a block that is not allocated";
    return;
  }
  delete[] block;
}

Handle FakeDevicePlatform::GetCurrentThread() { return kThread; }

Handle FakeDevicePlatform::GetCurrentProcess() { return kProcess; }

bool FakeDevicePlatform::CloseHandle(Handle handle) {
  calls.push_back(tokens_.count(handle) ? "CloseHandle(token)" : "CloseHandle(?)");
  if (tokens_.erase(handle) == 0) {
    ADD_FAILURE() << "closing a handle that is not open";
    return Fail(kErrorInvalidHandle);
  }
  return true;
}

uint32_t FakeDevicePlatform::GetLastError() { return last_error_; }

ModuleHandle FakeDevicePlatform::GetModuleHandleA(const char* module_name) {
  calls.push_back("GetModuleHandleA(" + Text(module_name) + ")");
  if (module_name && std::string(module_name) == "advapi32.dll") return kAdvapi32;
  if (module_name && std::string(module_name) == "setupapi.dll") return kSetupapi;
  return Fail(126), 0;  // ERROR_MOD_NOT_FOUND
}

ModuleHandle FakeDevicePlatform::LoadLibraryA(const char* module_name) {
  calls.push_back("LoadLibraryA(" + Text(module_name) + ")");
  if (!module_name || std::string(module_name) != "sfc.dll") return Fail(126), 0;
  ++loaded_libraries_;
  return kSfc;
}

bool FakeDevicePlatform::FreeLibrary(ModuleHandle module) {
  calls.push_back("FreeLibrary");
  if (module != kSfc || loaded_libraries_ == 0) {
    ADD_FAILURE() << "freeing a module that is not loaded";
    return Fail(kErrorInvalidHandle);
  }
  --loaded_libraries_;
  return true;
}

bool FakeDevicePlatform::SfcIsFileProtected(ProcAddress entry, const char* path) {
  EXPECT_EQ(entry, kSfcIsFileProtected);
  return protected_files.count(Text(path)) != 0;
}

bool FakeDevicePlatform::SetupUninstallOEMInfA(ProcAddress entry, const char* inf_file_name,
                                               uint32_t flags) {
  calls.push_back("SetupUninstallOEMInfA(" + Text(inf_file_name) + ", " + std::to_string(flags) +
                  ")");
  EXPECT_EQ(entry, kSetupUninstallOemInf);
  // Without SUOI_FORCEDELETE a package that an installed device still
  // uses stays, in the driver store and in the INF folder.
  for (const FakeDevice& device : devices) {
    if (device.removed) continue;
    for (const auto& [value_name, data] : device.driver_values) {
      if (NoCaseEqual(value_name, "InfPath") && NoCaseEqual(data, Text(inf_file_name))) {
        return Fail(kErrorInfInUseByDevices);
      }
    }
  }
  // The driver store's copy goes; the INF folder's files go with it.
  const std::string inf = windows_directory + "\\INF\\" + Text(inf_file_name);
  const std::string pnf = inf.substr(0, inf.find_last_of('.')) + ".PNF";
  files.erase(pnf);
  return files.erase(inf) != 0 || Fail(kErrorFileNotFound);
}

ProcAddress FakeDevicePlatform::GetProcAddress(ModuleHandle module, const char* proc_name) {
  calls.push_back("GetProcAddress(" + Text(proc_name) + ")");
  const std::string name = Text(proc_name);
  if (module == kAdvapi32 && check_token_membership_exported && name == "CheckTokenMembership") {
    return kCheckTokenMembership;
  }
  if (module == kSetupapi && uninstall_oem_inf_available && name == "SetupUninstallOEMInfA") {
    return kSetupUninstallOemInf;
  }
  if (module == kSfc && sfc_available && name == "SfcIsFileProtected") return kSfcIsFileProtected;
  return Fail(kErrorProcNotFound), 0;
}

uint32_t FakeDevicePlatform::FormatMessageA(uint32_t flags, uint32_t message_id, uint32_t,
                                            char* buffer, uint32_t size) {
  calls.push_back("FormatMessageA(" + Hex(flags) + ", " + std::to_string(message_id) + ")");
  const std::string text = SystemText(message_id);
  if (text.empty() || !buffer || size <= text.size()) return 0;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<uint32_t>(text.size());
}

uint32_t FakeDevicePlatform::CharUpperBuffA(char* text, uint32_t length) {
  std::transform(text, text + length, text, UpperCp1252);
  return length;
}

const char* FakeDevicePlatform::CharNextA(const char* text) {
  if (*text == '\0') return text;
  if (far_east && IsLeadByte(*text) && text[1] != '\0') return text + 2;
  return text + 1;
}

int FakeDevicePlatform::GetSystemMetrics(int index) {
  return index == kSmDbcsEnabled && far_east ? 1 : 0;
}

bool FakeDevicePlatform::AllocateAndInitializeSid(const SidIdentifierAuthority* authority,
                                                  uint8_t sub_authority_count, uint32_t sub0,
                                                  uint32_t sub1, uint32_t sub2, uint32_t sub3,
                                                  uint32_t sub4, uint32_t sub5, uint32_t sub6,
                                                  uint32_t sub7, SidHandle* sid) {
  const SidIdentifierAuthority nt{{0, 0, 0, 0, 0, 5}};
  const bool is_nt = authority && std::memcmp(authority, &nt, sizeof(nt)) == 0;
  calls.push_back("AllocateAndInitializeSid(" + std::string(is_nt ? "NT" : "?") + ", " +
                  std::to_string(sub_authority_count) + ", " + std::to_string(sub0) + ", " +
                  std::to_string(sub1) + ")");
  EXPECT_EQ(sub2 | sub3 | sub4 | sub5 | sub6 | sub7, 0u);
  if (allocate_sid_fails || !is_nt || sub_authority_count != 2) return Fail(kErrorInvalidParameter);
  *sid = next_handle_++;
  sids_[*sid] = "S-1-5-" + std::to_string(sub0) + "-" + std::to_string(sub1);
  return true;
}

void FakeDevicePlatform::FreeSid(SidHandle sid) {
  calls.push_back("FreeSid(" + SidText(sid) + ")");
  if (sids_.erase(sid) == 0) ADD_FAILURE() << "freeing a SID that was not allocated";
}

bool FakeDevicePlatform::EqualSid(SidHandle first, SidHandle second) {
  calls.push_back("EqualSid(" + SidText(first) + ", " + SidText(second) + ")");
  return SidText(first) == SidText(second);
}

bool FakeDevicePlatform::CheckTokenMembership(ProcAddress entry, Handle token, SidHandle sid,
                                              int32_t* is_member) {
  calls.push_back("CheckTokenMembership(" + std::to_string(token) + ", " + SidText(sid) + ")");
  EXPECT_EQ(entry, kCheckTokenMembership);
  if (check_token_membership_fails) return Fail(kErrorAccessDenied);
  *is_member = check_token_membership_answer ? 1 : 0;
  return true;
}

Handle FakeDevicePlatform::OpenToken(Handle* token) {
  *token = next_handle_++;
  tokens_.insert(*token);
  return *token;
}

bool FakeDevicePlatform::OpenThreadToken(Handle thread, uint32_t access, bool open_as_self,
                                         Handle* token) {
  calls.push_back("OpenThreadToken(" + std::string(thread == kThread ? "thread" : "?") + ", " +
                  Hex(access) + ", " + (open_as_self ? "self" : "client") + ")");
  switch (thread_token) {
    case FakeThreadToken::None: return Fail(kErrorNoToken);
    case FakeThreadToken::Fails: return Fail(thread_token_error);
    case FakeThreadToken::Present: return OpenToken(token), true;
  }
  return false;
}

bool FakeDevicePlatform::OpenProcessToken(Handle process, uint32_t access, Handle* token) {
  calls.push_back("OpenProcessToken(" + std::string(process == kProcess ? "process" : "?") + ", " +
                  Hex(access) + ")");
  if (process_token_fails) return Fail(process_token_error);
  return OpenToken(token), true;
}

bool FakeDevicePlatform::GetTokenInformation(Handle token, uint32_t info_class, uint8_t* buffer,
                                             uint32_t buffer_size, uint32_t* return_length) {
  calls.push_back("GetTokenInformation(token, " + std::to_string(info_class) + ", " +
                  (buffer ? "buffer" : "null") + ")");
  if (!tokens_.count(token)) return Fail(kErrorInvalidHandle);
  const size_t groups_at = offsetof(TokenGroups, Groups);
  const auto required = static_cast<uint32_t>(std::max(
      sizeof(TokenGroups), groups_at + token_groups.size() * sizeof(SidAndAttributes)));
  *return_length = required;
  if (!buffer || buffer_size < required) {
    return Fail(buffer ? kErrorInsufficientBuffer : group_size_error);
  }
  if (group_read_fails) return Fail(kErrorAccessDenied);
  const auto count = claimed_group_count.value_or(static_cast<uint32_t>(token_groups.size()));
  std::memcpy(buffer, &count, sizeof(count));
  for (size_t index = 0; index < token_groups.size(); ++index) {
    const SidHandle sid = next_handle_++;
    group_sids_[sid] = "S-1-5-32-" + std::to_string(token_groups[index].rid);
    const SidAndAttributes group{sid, token_groups[index].attributes};
    std::memcpy(buffer + groups_at + index * sizeof(group), &group, sizeof(group));
  }
  return true;
}

bool FakeDevicePlatform::LookupPrivilegeValueA(const char* system_name, const char* name,
                                               Luid* luid) {
  calls.push_back("LookupPrivilegeValueA(" + Text(system_name) + ", " + Text(name) + ")");
  if (!name || !known_privileges.count(name)) return Fail(kErrorNoSuchPrivilege);
  *luid = Luid{kShutdownLuid, 0};
  return true;
}

bool FakeDevicePlatform::AdjustTokenPrivileges(Handle token, bool disable_all,
                                               const TokenPrivileges* new_state,
                                               uint32_t buffer_length,
                                               TokenPrivileges* previous_state,
                                               uint32_t* return_length) {
  std::string text = "AdjustTokenPrivileges(token, " + std::string(disable_all ? "true" : "false");
  if (new_state) {
    text += ", " + std::to_string(new_state->PrivilegeCount) + ", " +
            std::to_string(new_state->Privileges[0].Luid.LowPart) + ", " +
            std::to_string(new_state->Privileges[0].Attributes);
  }
  calls.push_back(text + ", " + std::to_string(buffer_length) + ")");
  if (!tokens_.count(token)) return Fail(kErrorInvalidHandle);
  if (!previous_state || !return_length || buffer_length < sizeof(TokenPrivileges)) {
    return Fail(kErrorInvalidParameter);
  }
  *return_length = sizeof(TokenPrivileges);
  // Success either way; a privilege the user lacks shows only in the error.
  last_error_ = privilege_held ? 0 : kErrorNotAllAssigned;
  return true;
}

}  // namespace engine
