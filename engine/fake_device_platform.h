// A DevicePlatform for host tests: a small device database and token, and a
// log of every device and security call with its arguments, so that a test
// can assert the exact call sequence. The fake checks its callers as the
// system would (cbSize, handles) and reports misuse (double frees, unknown
// handles) as test failures. Text services and memory are not logged; the
// live_* counters show what is still held.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/device_platform.h"

namespace engine {

struct FakeDevice {
  std::string instance_id;  // names the device in the call log
  std::optional<std::vector<std::string>> hardware_ids;  // nullopt: no such property
  std::optional<std::string> service;                    // nullopt: no such property
  std::vector<std::string> inf_files;                    // one per compatible driver
  bool properties_unreadable = false;  // sizes are reported, reads fail
  bool removal_fails = false;          // the class installer refuses kDifRemove
  bool driver_details_unsized = false;  // the detail size query reports nothing
  bool removed = false;                // set when the class installer removed it
  // Values of the driver key, (name, data) in enumeration order; "InfPath"
  // names the INF the installed driver came from. No values: no key.
  std::vector<std::pair<std::string, std::string>> driver_values;
  std::optional<Guid> interface_class;  // one device interface of this class
  std::optional<std::string> manufacturer;  // "Mfg" of ENUM\<instance id> (9x)
};

// Orders paths as the file system compares them: without regard to case.
struct NoCaseLess {
  bool operator()(const std::string& a, const std::string& b) const;
};
using FakeFileSet = std::set<std::string, NoCaseLess>;
bool NoCaseEqual(const std::string& a, const std::string& b);

struct FakeTokenGroup {
  uint32_t rid;  // S-1-5-32-rid
  uint32_t attributes;
};

enum class FakeThreadToken { None, Present, Fails };

class FakeDevicePlatform : public DevicePlatform {
 public:
  FakeDevicePlatform();
  ~FakeDevicePlatform() override;

  // --- the system being simulated; tests set these before the call ---
  std::vector<FakeDevice> devices;
  bool class_devs_fails = false;
  uint32_t platform_id = kVerPlatformWin32Nt;
  uint32_t major_version = 5;
  bool far_east = false;  // Shift-JIS-like lead bytes 0x81-0x9F and 0xE0-0xFC
  bool out_of_memory = false;

  bool allocate_sid_fails = false;
  bool check_token_membership_exported = true;
  bool check_token_membership_fails = false;
  bool check_token_membership_answer = false;
  FakeThreadToken thread_token = FakeThreadToken::None;
  uint32_t thread_token_error = 5;  // ERROR_ACCESS_DENIED
  bool process_token_fails = false;
  uint32_t process_token_error = 5;  // ERROR_ACCESS_DENIED
  uint32_t group_size_error = kErrorInsufficientBuffer;
  bool group_read_fails = false;
  std::vector<FakeTokenGroup> token_groups;
  std::optional<uint32_t> claimed_group_count;  // a GroupCount that lies
  std::set<std::string> known_privileges{"SeShutdownPrivilege"};
  bool privilege_held = true;

  // The ids that an INF's model lines name, which a driver's detail lists.
  // An INF not listed here names the hardware ids of the device that asks:
  // the usual reason why a driver is compatible with a device.
  std::map<std::string, std::vector<std::string>, NoCaseLess> inf_models;

  std::string windows_directory = "C:\\WINDOWS";
  std::map<std::string, std::string> services;  // service name -> image path
  std::map<std::string, uint32_t> service_start_types;  // absent: demand start (3)
  // DeleteService fails with this error and the service stays.
  std::map<std::string, uint32_t> delete_service_errors;
  FakeFileSet files;                            // paths that exist
  FakeFileSet protected_files;                  // paths the system protects
  bool sfc_available = true;                    // sfc.dll exports SfcIsFileProtected
  bool uninstall_oem_inf_available = true;      // setupapi exports SetupUninstallOEMInfA
  bool service_manager_fails = false;

  // --- what happened ---
  std::vector<std::string> calls;
  int version_queries = 0;
  int allocations = 0;
  int live_buffers() const { return static_cast<int>(buffers_.size()); }
  int live_sids() const { return static_cast<int>(sids_.size()); }
  int live_tokens() const { return static_cast<int>(tokens_.size()); }
  int open_sets() const { return open_sets_; }
  int open_driver_lists() const { return open_driver_lists_; }
  int open_keys() const { return static_cast<int>(keys_.size()); }
  int open_services() const { return static_cast<int>(service_handles_.size()); }
  int loaded_libraries() const { return loaded_libraries_; }
  // Log entries made since the last call of TakeCalls, which clears the log.
  std::vector<std::string> TakeCalls();
  // Fails the test for every set, driver list, key, service handle,
  // library and buffer still held.
  void ExpectAllReleased() const;
  // The log entries that start with `prefix`, in order.
  std::vector<std::string> CallsOf(const std::string& prefix) const;

  DevInfoHandle SetupDiGetClassDevsW(const Guid* class_guid, const char16_t* enumerator,
                                     Handle parent, uint32_t flags) override;
  DevInfoHandle SetupDiGetClassDevsA(const Guid* class_guid, const char* enumerator,
                                     Handle parent, uint32_t flags) override;
  bool SetupDiEnumDeviceInfo(DevInfoHandle set, uint32_t index, SpDevinfoData* device) override;
  bool SetupDiGetDeviceRegistryPropertyW(DevInfoHandle set, SpDevinfoData* device,
                                         uint32_t property, uint32_t* reg_type, uint8_t* buffer,
                                         uint32_t buffer_size, uint32_t* required_size) override;
  bool SetupDiGetDeviceRegistryPropertyA(DevInfoHandle set, SpDevinfoData* device,
                                         uint32_t property, uint32_t* reg_type, uint8_t* buffer,
                                         uint32_t buffer_size, uint32_t* required_size) override;
  bool SetupDiDeleteDevRegKey(DevInfoHandle set, SpDevinfoData* device, uint32_t scope,
                              uint32_t hw_profile, uint32_t key_type) override;
  bool SetupDiSetClassInstallParamsA(DevInfoHandle set, SpDevinfoData* device,
                                     const SpClassinstallHeader* params,
                                     uint32_t params_size) override;
  bool SetupDiCallClassInstaller(uint32_t install_function, DevInfoHandle set,
                                 SpDevinfoData* device) override;
  bool SetupDiBuildDriverInfoList(DevInfoHandle set, SpDevinfoData* device,
                                  uint32_t driver_type) override;
  bool SetupDiEnumDriverInfoA(DevInfoHandle set, SpDevinfoData* device, uint32_t driver_type,
                              uint32_t index, SpDrvinfoDataA* driver) override;
  bool SetupDiGetDriverInfoDetailA(DevInfoHandle set, SpDevinfoData* device,
                                   SpDrvinfoDataA* driver, uint8_t* detail, uint32_t detail_size,
                                   uint32_t* required_size) override;
  bool SetupDiDestroyDriverInfoList(DevInfoHandle set, SpDevinfoData* device,
                                    uint32_t driver_type) override;
  bool SetupDiDestroyDeviceInfoList(DevInfoHandle set) override;
  bool SetupDiEnumDeviceInterfaces(DevInfoHandle set, SpDevinfoData* device,
                                   const Guid* interface_class, uint32_t index,
                                   SpDeviceInterfaceData* interface_data) override;
  bool SetupDiGetDeviceInterfaceDetailA(DevInfoHandle set, SpDeviceInterfaceData* interface_data,
                                        uint8_t* detail, uint32_t detail_size,
                                        uint32_t* required_size, SpDevinfoData* device) override;
  bool SetupDiGetDeviceInstanceIdA(DevInfoHandle set, SpDevinfoData* device, char* buffer,
                                   uint32_t buffer_size, uint32_t* required_size) override;
  KeyHandle SetupDiOpenDevRegKey(DevInfoHandle set, SpDevinfoData* device, uint32_t scope,
                                 uint32_t hw_profile, uint32_t key_type, uint32_t access) override;
  bool SetupUninstallOEMInfA(ProcAddress entry, const char* inf_file_name,
                             uint32_t flags) override;

  int32_t RegOpenKeyExA(KeyHandle root, const char* sub_key, uint32_t options, uint32_t access,
                        KeyHandle* key) override;
  int32_t RegQueryValueExA(KeyHandle key, const char* value_name, uint32_t* type, uint8_t* data,
                           uint32_t* data_size) override;
  int32_t RegEnumValueA(KeyHandle key, uint32_t index, char* name, uint32_t* name_size,
                        uint32_t* type, uint8_t* data, uint32_t* data_size) override;
  int32_t RegCloseKey(KeyHandle key) override;

  ServiceHandle OpenSCManagerA(const char* machine, const char* database,
                               uint32_t access) override;
  ServiceHandle OpenServiceA(ServiceHandle manager, const char* name, uint32_t access) override;
  bool QueryServiceConfigA(ServiceHandle service, uint8_t* config, uint32_t size,
                           uint32_t* needed) override;
  bool DeleteService(ServiceHandle service) override;
  bool CloseServiceHandle(ServiceHandle handle) override;

  uint32_t GetWindowsDirectoryA(char* buffer, uint32_t size) override;
  bool DeleteFileA(const char* path) override;
  ModuleHandle LoadLibraryA(const char* module_name) override;
  bool FreeLibrary(ModuleHandle module) override;
  bool SfcIsFileProtected(ProcAddress entry, const char* path) override;


  bool GetVersionExA(OsVersionInfoA* info) override;
  uint32_t GetVersion() override;
  uint8_t* LocalAlloc(uint32_t flags, uint32_t bytes) override;
  void LocalFree(uint8_t* block) override;
  Handle GetCurrentThread() override;
  Handle GetCurrentProcess() override;
  bool CloseHandle(Handle handle) override;
  uint32_t GetLastError() override;
  ModuleHandle GetModuleHandleA(const char* module_name) override;
  ProcAddress GetProcAddress(ModuleHandle module, const char* proc_name) override;
  uint32_t FormatMessageA(uint32_t flags, uint32_t message_id, uint32_t language_id, char* buffer,
                          uint32_t size) override;

  uint32_t CharUpperBuffA(char* text, uint32_t length) override;
  const char* CharNextA(const char* text) override;
  int GetSystemMetrics(int index) override;

  bool AllocateAndInitializeSid(const SidIdentifierAuthority* authority,
                                uint8_t sub_authority_count, uint32_t sub0, uint32_t sub1,
                                uint32_t sub2, uint32_t sub3, uint32_t sub4, uint32_t sub5,
                                uint32_t sub6, uint32_t sub7, SidHandle* sid) override;
  void FreeSid(SidHandle sid) override;
  bool EqualSid(SidHandle first, SidHandle second) override;
  bool CheckTokenMembership(ProcAddress entry, Handle token, SidHandle sid,
                            int32_t* is_member) override;
  bool OpenThreadToken(Handle thread, uint32_t access, bool open_as_self, Handle* token) override;
  bool OpenProcessToken(Handle process, uint32_t access, Handle* token) override;
  bool GetTokenInformation(Handle token, uint32_t info_class, uint8_t* buffer,
                           uint32_t buffer_size, uint32_t* return_length) override;
  bool LookupPrivilegeValueA(const char* system_name, const char* name, Luid* luid) override;
  bool AdjustTokenPrivileges(Handle token, bool disable_all, const TokenPrivileges* new_state,
                             uint32_t buffer_length, TokenPrivileges* previous_state,
                             uint32_t* return_length) override;

 private:
  // The device of the open set that `device` names, after checking the set
  // handle and cbSize; nullptr (and ERROR_INVALID_PARAMETER) otherwise.
  FakeDevice* Resolve(DevInfoHandle set, const SpDevinfoData* device);
  bool Fail(uint32_t error);
  // Opens the one set of all devices not yet removed, in database order.
  DevInfoHandle OpenSet();
  Handle OpenToken(Handle* token);
  std::string SidText(SidHandle sid) const;
  bool ReadProperty(const char* name, DevInfoHandle set, SpDevinfoData* device, uint32_t property,
                    uint8_t* buffer, uint32_t buffer_size, uint32_t* required_size,
                    uint32_t size_factor);

  // Resolves an SC_HANDLE of an open service to its name; nullptr if none.
  const std::string* ServiceOf(ServiceHandle handle) const;

  int open_sets_ = 0;
  std::map<KeyHandle, std::string> keys_;                // open key -> what it is
  std::map<KeyHandle, uint32_t> key_access_;             // open key -> rights asked for
  std::map<ServiceHandle, std::string> service_handles_;  // "" is the manager
  int loaded_libraries_ = 0;
  int open_driver_lists_ = 0;
  std::vector<size_t> snapshot_;  // device indexes of the open set
  uint32_t last_error_ = 0;
  std::set<uint8_t*> buffers_;
  std::map<SidHandle, std::string> sids_;        // allocated by the engine
  std::map<SidHandle, std::string> group_sids_;  // owned by the token
  std::set<Handle> tokens_;
  Handle next_handle_ = 0x100;
};

}  // namespace engine
