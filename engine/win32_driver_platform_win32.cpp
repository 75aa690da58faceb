// Win32DevicePlatform's calls for driver files, driver packages, services
// and the registry: device interfaces, driver keys, the service control
// manager, file deletion and the run-time entry points of setupapi and sfc.
#include <windows.h>
#include <setupapi.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "engine/win32_device_platform.h"

namespace engine {
namespace {

static_assert(sizeof(SpDeviceInterfaceData) == sizeof(SP_DEVICE_INTERFACE_DATA));
static_assert(sizeof(SpDeviceInterfaceDetailDataA) == sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A));
static_assert(sizeof(QueryServiceConfigData) == sizeof(QUERY_SERVICE_CONFIGA));
static_assert(offsetof(QueryServiceConfigData, lpBinaryPathName) ==
              offsetof(QUERY_SERVICE_CONFIGA, lpBinaryPathName));
static_assert(offsetof(SpDeviceInterfaceDetailDataA, DevicePath) ==
              offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath));

HDEVINFO ToSet(DevInfoHandle set) { return reinterpret_cast<HDEVINFO>(set); }
HKEY ToKey(KeyHandle key) { return reinterpret_cast<HKEY>(key); }
SC_HANDLE ToService(ServiceHandle handle) { return reinterpret_cast<SC_HANDLE>(handle); }

// The portable structures have the system's layouts (checked above and in
// win32_device_platform_win32.cpp), so pointers to them are handed on.
PSP_DEVINFO_DATA ToDevice(SpDevinfoData* device) {
  return reinterpret_cast<PSP_DEVINFO_DATA>(device);
}

}  // namespace

bool Win32DevicePlatform::SetupDiEnumDeviceInterfaces(DevInfoHandle set, SpDevinfoData* device,
                                                      const Guid* interface_class,
                                                      uint32_t index,
                                                      SpDeviceInterfaceData* interface_data) {
  return ::SetupDiEnumDeviceInterfaces(
      ToSet(set), ToDevice(device), reinterpret_cast<const GUID*>(interface_class), index,
      reinterpret_cast<PSP_DEVICE_INTERFACE_DATA>(interface_data));
}

bool Win32DevicePlatform::SetupDiGetDeviceInterfaceDetailA(DevInfoHandle set,
                                                           SpDeviceInterfaceData* interface_data,
                                                           uint8_t* detail, uint32_t detail_size,
                                                           uint32_t* required_size,
                                                           SpDevinfoData* device) {
  DWORD required = 0;
  const BOOL ok = ::SetupDiGetDeviceInterfaceDetailA(
      ToSet(set), reinterpret_cast<PSP_DEVICE_INTERFACE_DATA>(interface_data),
      reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(detail), detail_size, &required,
      ToDevice(device));
  if (required_size) *required_size = required;
  return ok;
}

bool Win32DevicePlatform::SetupDiGetDeviceInstanceIdA(DevInfoHandle set, SpDevinfoData* device,
                                                      char* buffer, uint32_t buffer_size,
                                                      uint32_t* required_size) {
  DWORD required = 0;
  const BOOL ok =
      ::SetupDiGetDeviceInstanceIdA(ToSet(set), ToDevice(device), buffer, buffer_size, &required);
  if (required_size) *required_size = required;
  return ok;
}

KeyHandle Win32DevicePlatform::SetupDiOpenDevRegKey(DevInfoHandle set, SpDevinfoData* device,
                                                    uint32_t scope, uint32_t hw_profile,
                                                    uint32_t key_type, uint32_t access) {
  return reinterpret_cast<KeyHandle>(
      ::SetupDiOpenDevRegKey(ToSet(set), ToDevice(device), scope, hw_profile, key_type, access));
}

bool Win32DevicePlatform::SetupUninstallOEMInfA(ProcAddress entry, const char* inf_file_name,
                                                uint32_t flags) {
  using UninstallFn = BOOL(WINAPI*)(PCSTR, DWORD, PVOID);
  return reinterpret_cast<UninstallFn>(entry)(inf_file_name, flags, nullptr);
}

int32_t Win32DevicePlatform::RegOpenKeyExA(KeyHandle root, const char* sub_key, uint32_t options,
                                           uint32_t access, KeyHandle* key) {
  HKEY opened = nullptr;
  const LONG result = ::RegOpenKeyExA(ToKey(root), sub_key, options, access, &opened);
  *key = reinterpret_cast<KeyHandle>(opened);
  return result;
}

int32_t Win32DevicePlatform::RegQueryValueExA(KeyHandle key, const char* value_name,
                                              uint32_t* type, uint8_t* data,
                                              uint32_t* data_size) {
  DWORD native_type = 0;
  DWORD size = data_size ? *data_size : 0;
  const LONG result = ::RegQueryValueExA(ToKey(key), value_name, nullptr, &native_type, data,
                                         data_size ? &size : nullptr);
  if (type) *type = native_type;
  if (data_size) *data_size = size;
  return result;
}

int32_t Win32DevicePlatform::RegEnumValueA(KeyHandle key, uint32_t index, char* name,
                                           uint32_t* name_size, uint32_t* type, uint8_t* data,
                                           uint32_t* data_size) {
  DWORD native_name_size = *name_size;
  DWORD native_type = 0;
  DWORD size = data_size ? *data_size : 0;
  const LONG result = ::RegEnumValueA(ToKey(key), index, name, &native_name_size, nullptr,
                                      &native_type, data, data_size ? &size : nullptr);
  *name_size = native_name_size;
  if (type) *type = native_type;
  if (data_size) *data_size = size;
  return result;
}

int32_t Win32DevicePlatform::RegCloseKey(KeyHandle key) { return ::RegCloseKey(ToKey(key)); }

ServiceHandle Win32DevicePlatform::OpenSCManagerA(const char* machine, const char* database,
                                                  uint32_t access) {
  return reinterpret_cast<ServiceHandle>(::OpenSCManagerA(machine, database, access));
}

ServiceHandle Win32DevicePlatform::OpenServiceA(ServiceHandle manager, const char* name,
                                                uint32_t access) {
  return reinterpret_cast<ServiceHandle>(::OpenServiceA(ToService(manager), name, access));
}

bool Win32DevicePlatform::QueryServiceConfigA(ServiceHandle service, uint8_t* config,
                                              uint32_t size, uint32_t* needed) {
  DWORD native_needed = 0;
  const BOOL ok = ::QueryServiceConfigA(
      ToService(service), reinterpret_cast<LPQUERY_SERVICE_CONFIGA>(config), size, &native_needed);
  if (needed) *needed = native_needed;
  return ok;
}

bool Win32DevicePlatform::DeleteService(ServiceHandle service) {
  return ::DeleteService(ToService(service));
}

bool Win32DevicePlatform::CloseServiceHandle(ServiceHandle handle) {
  return ::CloseServiceHandle(ToService(handle));
}

uint32_t Win32DevicePlatform::GetWindowsDirectoryA(char* buffer, uint32_t size) {
  return ::GetWindowsDirectoryA(buffer, size);
}

bool Win32DevicePlatform::DeleteFileA(const char* path) { return ::DeleteFileA(path); }

ModuleHandle Win32DevicePlatform::LoadLibraryA(const char* module_name) {
  return reinterpret_cast<ModuleHandle>(::LoadLibraryA(module_name));
}

bool Win32DevicePlatform::FreeLibrary(ModuleHandle module) {
  return ::FreeLibrary(reinterpret_cast<HMODULE>(module));
}

bool Win32DevicePlatform::SfcIsFileProtected(ProcAddress entry, const char* path) {
  const int length = ::MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
  if (length <= 0) return false;
  std::wstring wide(static_cast<size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, path, -1, wide.data(), length);
  using IsProtectedFn = BOOL(WINAPI*)(HANDLE, LPCWSTR);
  return reinterpret_cast<IsProtectedFn>(entry)(nullptr, wide.c_str()) != FALSE;
}

}  // namespace engine
