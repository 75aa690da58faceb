#include "engine/win32_device_platform.h"

#include <windows.h>
#include <setupapi.h>

#include <cstddef>
#include <cstring>

namespace engine {
namespace {

// The portable copies must match the system's layouts byte for byte.
static_assert(sizeof(Guid) == sizeof(GUID));
static_assert(sizeof(SpDevinfoData) == sizeof(SP_DEVINFO_DATA));
static_assert(sizeof(SpDrvinfoDataA) == sizeof(SP_DRVINFO_DATA_A));
static_assert(sizeof(SpDrvinfoDetailDataA) == sizeof(SP_DRVINFO_DETAIL_DATA_A));
static_assert(offsetof(SpDrvinfoDetailDataA, InfFileName) ==
              offsetof(SP_DRVINFO_DETAIL_DATA_A, InfFileName));
static_assert(sizeof(SpClassinstallHeader) == sizeof(SP_CLASSINSTALL_HEADER));
static_assert(sizeof(SpRemovedeviceParams) == sizeof(SP_REMOVEDEVICE_PARAMS));
static_assert(sizeof(OsVersionInfoA) == sizeof(OSVERSIONINFOA));
static_assert(sizeof(SidIdentifierAuthority) == sizeof(SID_IDENTIFIER_AUTHORITY));
static_assert(sizeof(SidAndAttributes) == sizeof(SID_AND_ATTRIBUTES));
static_assert(offsetof(TokenGroups, Groups) == offsetof(TOKEN_GROUPS, Groups));
static_assert(sizeof(Luid) == sizeof(LUID));
static_assert(sizeof(TokenPrivileges) == sizeof(TOKEN_PRIVILEGES));
static_assert(offsetof(SpDrvinfoDetailDataA, HardwareID) ==
              offsetof(SP_DRVINFO_DETAIL_DATA_A, HardwareID));
static_assert(offsetof(SpDevinfoData, Reserved) == offsetof(SP_DEVINFO_DATA, Reserved));

// Lends the system a native copy of a portable structure and copies the
// system's changes back when the call is over. A null pointer stays null.
template <typename Native, typename Portable>
class LentCopy {
 public:
  static_assert(sizeof(Native) == sizeof(Portable));
  explicit LentCopy(Portable* portable) : portable_(portable) {
    if (portable_) std::memcpy(&native_, portable_, sizeof(native_));
  }
  LentCopy(const LentCopy&) = delete;
  LentCopy& operator=(const LentCopy&) = delete;
  ~LentCopy() {
    if (portable_) std::memcpy(portable_, &native_, sizeof(native_));
  }

  Native* get() { return portable_ ? &native_ : nullptr; }

 private:
  Portable* portable_;
  Native native_{};
};

using NativeDevice = LentCopy<SP_DEVINFO_DATA, SpDevinfoData>;
using NativeDword = LentCopy<DWORD, uint32_t>;

HDEVINFO ToSet(DevInfoHandle set) { return reinterpret_cast<HDEVINFO>(set); }
HANDLE ToHandle(Handle handle) { return reinterpret_cast<HANDLE>(handle); }
PSID ToSid(SidHandle sid) { return reinterpret_cast<PSID>(sid); }

// Either variant of SetupDiGetDeviceRegistryProperty; both take the same
// arguments.
template <typename Read>
bool ReadProperty(Read read, DevInfoHandle set, SpDevinfoData* device, uint32_t property,
                  uint32_t* reg_type, uint8_t* buffer, uint32_t buffer_size,
                  uint32_t* required_size) {
  NativeDevice native(device);
  NativeDword type(reg_type);
  NativeDword required(required_size);
  return read(ToSet(set), native.get(), property, type.get(), buffer, buffer_size, required.get());
}

}  // namespace

DevInfoHandle Win32DevicePlatform::SetupDiGetClassDevsW(const Guid* class_guid,
                                                        const char16_t* enumerator, Handle parent,
                                                        uint32_t flags) {
  return reinterpret_cast<DevInfoHandle>(::SetupDiGetClassDevsW(
      reinterpret_cast<const GUID*>(class_guid), reinterpret_cast<PCWSTR>(enumerator),
      reinterpret_cast<HWND>(parent), flags));
}

DevInfoHandle Win32DevicePlatform::SetupDiGetClassDevsA(const Guid* class_guid,
                                                        const char* enumerator, Handle parent,
                                                        uint32_t flags) {
  return reinterpret_cast<DevInfoHandle>(::SetupDiGetClassDevsA(
      reinterpret_cast<const GUID*>(class_guid), enumerator, reinterpret_cast<HWND>(parent),
      flags));
}

bool Win32DevicePlatform::SetupDiEnumDeviceInfo(DevInfoHandle set, uint32_t index,
                                                SpDevinfoData* device) {
  NativeDevice native(device);
  return ::SetupDiEnumDeviceInfo(ToSet(set), index, native.get());
}

bool Win32DevicePlatform::SetupDiGetDeviceRegistryPropertyW(DevInfoHandle set,
                                                            SpDevinfoData* device,
                                                            uint32_t property, uint32_t* reg_type,
                                                            uint8_t* buffer, uint32_t buffer_size,
                                                            uint32_t* required_size) {
  return ReadProperty(::SetupDiGetDeviceRegistryPropertyW, set, device, property, reg_type, buffer,
                      buffer_size, required_size);
}

bool Win32DevicePlatform::SetupDiGetDeviceRegistryPropertyA(DevInfoHandle set,
                                                            SpDevinfoData* device,
                                                            uint32_t property, uint32_t* reg_type,
                                                            uint8_t* buffer, uint32_t buffer_size,
                                                            uint32_t* required_size) {
  return ReadProperty(::SetupDiGetDeviceRegistryPropertyA, set, device, property, reg_type, buffer,
                      buffer_size, required_size);
}

bool Win32DevicePlatform::SetupDiDeleteDevRegKey(DevInfoHandle set, SpDevinfoData* device,
                                                 uint32_t scope, uint32_t hw_profile,
                                                 uint32_t key_type) {
  NativeDevice native(device);
  return ::SetupDiDeleteDevRegKey(ToSet(set), native.get(), scope, hw_profile, key_type);
}

bool Win32DevicePlatform::SetupDiSetClassInstallParamsA(DevInfoHandle set, SpDevinfoData* device,
                                                        const SpClassinstallHeader* params,
                                                        uint32_t params_size) {
  NativeDevice native(device);
  // The system only reads the parameters, whose layout is its own.
  auto* header = reinterpret_cast<SP_CLASSINSTALL_HEADER*>(
      const_cast<SpClassinstallHeader*>(params));
  return ::SetupDiSetClassInstallParamsA(ToSet(set), native.get(), header, params_size);
}

bool Win32DevicePlatform::SetupDiCallClassInstaller(uint32_t install_function, DevInfoHandle set,
                                                    SpDevinfoData* device) {
  NativeDevice native(device);
  return ::SetupDiCallClassInstaller(install_function, ToSet(set), native.get());
}

bool Win32DevicePlatform::SetupDiBuildDriverInfoList(DevInfoHandle set, SpDevinfoData* device,
                                                     uint32_t driver_type) {
  NativeDevice native(device);
  return ::SetupDiBuildDriverInfoList(ToSet(set), native.get(), driver_type);
}

bool Win32DevicePlatform::SetupDiEnumDriverInfoA(DevInfoHandle set, SpDevinfoData* device,
                                                 uint32_t driver_type, uint32_t index,
                                                 SpDrvinfoDataA* driver) {
  NativeDevice native(device);
  LentCopy<SP_DRVINFO_DATA_A, SpDrvinfoDataA> native_driver(driver);
  return ::SetupDiEnumDriverInfoA(ToSet(set), native.get(), driver_type, index,
                                  native_driver.get());
}

bool Win32DevicePlatform::SetupDiGetDriverInfoDetailA(DevInfoHandle set, SpDevinfoData* device,
                                                      SpDrvinfoDataA* driver, uint8_t* detail,
                                                      uint32_t detail_size,
                                                      uint32_t* required_size) {
  NativeDevice native(device);
  LentCopy<SP_DRVINFO_DATA_A, SpDrvinfoDataA> native_driver(driver);
  NativeDword required(required_size);
  return ::SetupDiGetDriverInfoDetailA(ToSet(set), native.get(), native_driver.get(),
                                       reinterpret_cast<PSP_DRVINFO_DETAIL_DATA_A>(detail),
                                       detail_size, required.get());
}

bool Win32DevicePlatform::SetupDiDestroyDriverInfoList(DevInfoHandle set, SpDevinfoData* device,
                                                       uint32_t driver_type) {
  NativeDevice native(device);
  return ::SetupDiDestroyDriverInfoList(ToSet(set), native.get(), driver_type);
}

bool Win32DevicePlatform::SetupDiDestroyDeviceInfoList(DevInfoHandle set) {
  return ::SetupDiDestroyDeviceInfoList(ToSet(set));
}

bool Win32DevicePlatform::GetVersionExA(OsVersionInfoA* info) {
  LentCopy<OSVERSIONINFOA, OsVersionInfoA> native(info);
  return ::GetVersionExA(native.get());
}

uint32_t Win32DevicePlatform::GetVersion() { return ::GetVersion(); }

uint8_t* Win32DevicePlatform::LocalAlloc(uint32_t flags, uint32_t bytes) {
  return static_cast<uint8_t*>(::LocalAlloc(flags, bytes));
}

void Win32DevicePlatform::LocalFree(uint8_t* block) { ::LocalFree(block); }

Handle Win32DevicePlatform::GetCurrentThread() {
  return reinterpret_cast<Handle>(::GetCurrentThread());
}

Handle Win32DevicePlatform::GetCurrentProcess() {
  return reinterpret_cast<Handle>(::GetCurrentProcess());
}

bool Win32DevicePlatform::CloseHandle(Handle handle) { return ::CloseHandle(ToHandle(handle)); }

uint32_t Win32DevicePlatform::GetLastError() { return ::GetLastError(); }

ModuleHandle Win32DevicePlatform::GetModuleHandleA(const char* module_name) {
  return reinterpret_cast<ModuleHandle>(::GetModuleHandleA(module_name));
}

ProcAddress Win32DevicePlatform::GetProcAddress(ModuleHandle module, const char* proc_name) {
  return reinterpret_cast<ProcAddress>(
      ::GetProcAddress(reinterpret_cast<HMODULE>(module), proc_name));
}

uint32_t Win32DevicePlatform::FormatMessageA(uint32_t flags, uint32_t message_id,
                                             uint32_t language_id, char* buffer, uint32_t size) {
  return ::FormatMessageA(flags, nullptr, message_id, language_id, buffer, size, nullptr);
}

uint32_t Win32DevicePlatform::CharUpperBuffA(char* text, uint32_t length) {
  return ::CharUpperBuffA(text, length);
}

const char* Win32DevicePlatform::CharNextA(const char* text) { return ::CharNextA(text); }

int Win32DevicePlatform::GetSystemMetrics(int index) { return ::GetSystemMetrics(index); }

bool Win32DevicePlatform::AllocateAndInitializeSid(const SidIdentifierAuthority* authority,
                                                   uint8_t sub_authority_count, uint32_t sub0,
                                                   uint32_t sub1, uint32_t sub2, uint32_t sub3,
                                                   uint32_t sub4, uint32_t sub5, uint32_t sub6,
                                                   uint32_t sub7, SidHandle* sid) {
  PSID native = nullptr;
  SID_IDENTIFIER_AUTHORITY native_authority{};
  std::memcpy(&native_authority, authority, sizeof(native_authority));
  const bool ok = ::AllocateAndInitializeSid(&native_authority, sub_authority_count, sub0, sub1,
                                             sub2, sub3, sub4, sub5, sub6, sub7, &native);
  if (ok) *sid = reinterpret_cast<SidHandle>(native);
  return ok;
}

void Win32DevicePlatform::FreeSid(SidHandle sid) { ::FreeSid(ToSid(sid)); }

bool Win32DevicePlatform::EqualSid(SidHandle first, SidHandle second) {
  return ::EqualSid(ToSid(first), ToSid(second));
}

bool Win32DevicePlatform::CheckTokenMembership(ProcAddress entry, Handle token, SidHandle sid,
                                               int32_t* is_member) {
  using CheckTokenMembershipFn = BOOL(WINAPI*)(HANDLE, PSID, PBOOL);
  auto check = reinterpret_cast<CheckTokenMembershipFn>(entry);
  BOOL member = FALSE;
  const bool ok = check(ToHandle(token), ToSid(sid), &member);
  *is_member = member;
  return ok;
}

bool Win32DevicePlatform::OpenThreadToken(Handle thread, uint32_t access, bool open_as_self,
                                          Handle* token) {
  HANDLE native = nullptr;
  const bool ok = ::OpenThreadToken(ToHandle(thread), access, open_as_self, &native);
  if (ok) *token = reinterpret_cast<Handle>(native);
  return ok;
}

bool Win32DevicePlatform::OpenProcessToken(Handle process, uint32_t access, Handle* token) {
  HANDLE native = nullptr;
  const bool ok = ::OpenProcessToken(ToHandle(process), access, &native);
  if (ok) *token = reinterpret_cast<Handle>(native);
  return ok;
}

bool Win32DevicePlatform::GetTokenInformation(Handle token, uint32_t info_class, uint8_t* buffer,
                                              uint32_t buffer_size, uint32_t* return_length) {
  NativeDword length(return_length);
  return ::GetTokenInformation(ToHandle(token), static_cast<TOKEN_INFORMATION_CLASS>(info_class),
                               buffer, buffer_size, length.get());
}

bool Win32DevicePlatform::LookupPrivilegeValueA(const char* system_name, const char* name,
                                                Luid* luid) {
  LentCopy<LUID, Luid> native(luid);
  return ::LookupPrivilegeValueA(system_name, name, native.get());
}

bool Win32DevicePlatform::AdjustTokenPrivileges(Handle token, bool disable_all,
                                                const TokenPrivileges* new_state,
                                                uint32_t buffer_length,
                                                TokenPrivileges* previous_state,
                                                uint32_t* return_length) {
  TOKEN_PRIVILEGES native_new{};
  if (new_state) std::memcpy(&native_new, new_state, sizeof(native_new));
  LentCopy<TOKEN_PRIVILEGES, TokenPrivileges> previous(previous_state);
  NativeDword length(return_length);
  return ::AdjustTokenPrivileges(ToHandle(token), disable_all, new_state ? &native_new : nullptr, buffer_length,
                                 previous.get(), length.get());
}

}  // namespace engine
