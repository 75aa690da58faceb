// DevicePlatform over the real system: the Setup API (imported at load
// time), advapi32, kernel32 and user32. Each method forwards its arguments
// unchanged and returns what the system returned.
#pragma once

#include "engine/device_platform.h"

namespace engine {

class Win32DevicePlatform : public DevicePlatform {
 public:
  Win32DevicePlatform() = default;

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
};

}  // namespace engine
