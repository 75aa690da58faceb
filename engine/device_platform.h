// The system calls of the driver removal engine, one virtual method per
// call, named and typed like the system's own. Win32DevicePlatform forwards
// them to the Setup API, advapi32, kernel32 and user32; host tests use a
// recording fake. Nothing here includes windows.h: the structures below copy
// the system's layouts with portable types.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace engine {

// Opaque handle values (HDEVINFO, HANDLE, PSID, HMODULE, FARPROC).
using DevInfoHandle = uintptr_t;
using Handle = uintptr_t;
using SidHandle = uintptr_t;
using ModuleHandle = uintptr_t;
using ProcAddress = uintptr_t;
using KeyHandle = uintptr_t;      // HKEY
using ServiceHandle = uintptr_t;  // SC_HANDLE

// INVALID_HANDLE_VALUE.
inline constexpr uintptr_t kInvalidHandleValue = static_cast<uintptr_t>(-1);

struct Guid {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};

// The Setup API packs its structures to one byte on 32-bit targets and to
// eight bytes elsewhere; the copies must match so that cbSize is right.
#if UINTPTR_MAX == 0xFFFFFFFFu
#pragma pack(push, 1)
#else
#pragma pack(push, 8)
#endif

struct SpDevinfoData {
  uint32_t cbSize;
  Guid ClassGuid;
  uint32_t DevInst;
  uintptr_t Reserved;
};

struct FileTime {
  uint32_t dwLowDateTime;
  uint32_t dwHighDateTime;
};

// SP_DRVINFO_DATA_A (the layout with driver date and version).
struct SpDrvinfoDataA {
  uint32_t cbSize;
  uint32_t DriverType;
  uintptr_t Reserved;
  char Description[256];
  char MfgName[256];
  char ProviderName[256];
  FileTime DriverDate;
  uint64_t DriverVersion;
};

// SP_DRVINFO_DETAIL_DATA_A; HardwareID runs on past the structure.
struct SpDrvinfoDetailDataA {
  uint32_t cbSize;
  FileTime InfDate;
  uint32_t CompatIDsOffset;
  uint32_t CompatIDsLength;
  uintptr_t Reserved;
  char SectionName[256];
  char InfFileName[260];
  char DrvDescription[256];
  char HardwareID[1];
};

struct SpDeviceInterfaceData {
  uint32_t cbSize;
  Guid InterfaceClassGuid;
  uint32_t Flags;
  uintptr_t Reserved;
};

// SP_DEVICE_INTERFACE_DETAIL_DATA_A; DevicePath runs on past the structure.
struct SpDeviceInterfaceDetailDataA {
  uint32_t cbSize;
  char DevicePath[1];
};

struct SpClassinstallHeader {
  uint32_t cbSize;
  uint32_t InstallFunction;
};

struct SpRemovedeviceParams {
  SpClassinstallHeader ClassInstallHeader;
  uint32_t Scope;
  uint32_t HwProfile;
};

#pragma pack(pop)

// The sizes the Setup API checks in cbSize; the Windows files compare them
// with the system's headers as well.
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(SpDevinfoData) == 28);
static_assert(sizeof(SpDrvinfoDataA) == 796);
static_assert(sizeof(SpDrvinfoDetailDataA) == 797);
static_assert(sizeof(SpRemovedeviceParams) == 16);
static_assert(sizeof(SpDeviceInterfaceData) == 28);
static_assert(sizeof(SpDeviceInterfaceDetailDataA) == 5);
#else
static_assert(sizeof(SpDevinfoData) == 32);
static_assert(sizeof(SpDrvinfoDataA) == 800);
static_assert(sizeof(SpDrvinfoDetailDataA) == 808);
static_assert(sizeof(SpRemovedeviceParams) == 16);
static_assert(sizeof(SpDeviceInterfaceData) == 32);
static_assert(sizeof(SpDeviceInterfaceDetailDataA) == 8);
#endif

// QUERY_SERVICE_CONFIGA; the texts point into the caller's buffer.
struct QueryServiceConfigData {
  uint32_t dwServiceType;
  uint32_t dwStartType;
  uint32_t dwErrorControl;
  char* lpBinaryPathName;
  char* lpLoadOrderGroup;
  uint32_t dwTagId;
  char* lpDependencies;
  char* lpServiceStartName;
  char* lpDisplayName;
};

struct OsVersionInfoA {
  uint32_t dwOSVersionInfoSize;
  uint32_t dwMajorVersion;
  uint32_t dwMinorVersion;
  uint32_t dwBuildNumber;
  uint32_t dwPlatformId;
  char szCSDVersion[128];
};
static_assert(sizeof(OsVersionInfoA) == 148);

struct SidIdentifierAuthority {
  uint8_t Value[6];
};

struct SidAndAttributes {
  SidHandle Sid;
  uint32_t Attributes;
};

// TOKEN_GROUPS; Groups runs on past the structure.
struct TokenGroups {
  uint32_t GroupCount;
  SidAndAttributes Groups[1];
};

struct Luid {
  uint32_t LowPart;
  int32_t HighPart;
};

struct LuidAndAttributes {
  engine::Luid Luid;
  uint32_t Attributes;
};

// TOKEN_PRIVILEGES with room for exactly one privilege.
struct TokenPrivileges {
  uint32_t PrivilegeCount;
  LuidAndAttributes Privileges[1];
};
static_assert(sizeof(TokenPrivileges) == 16);

// Constants of the system. The names differ from the system's macros so
// that a file may include windows.h before this header.
inline constexpr uint32_t kVerPlatformWin32Nt = 2;
inline constexpr uint32_t kDigcfAllClasses = 0x4;
inline constexpr uint32_t kSpdrpHardwareId = 1;
inline constexpr uint32_t kSpdrpService = 4;
inline constexpr uint32_t kDicsFlagGlobal = 1;
inline constexpr uint32_t kDiregDev = 1;
inline constexpr uint32_t kDiregDrv = 2;
inline constexpr uint32_t kDiregBoth = 4;
inline constexpr uint32_t kDifRemove = 5;
inline constexpr uint32_t kDiRemovedeviceGlobal = 1;
inline constexpr uint32_t kSpditCompatDriver = 2;
inline constexpr uint32_t kLptr = 0x40;
inline constexpr int kSmDbcsEnabled = 42;
inline constexpr uint32_t kTokenQuery = 0x8;
inline constexpr uint32_t kTokenAdjustPrivileges = 0x20;
inline constexpr uint32_t kTokenGroupsClass = 2;  // TOKEN_INFORMATION_CLASS TokenGroups
inline constexpr uint32_t kSeGroupEnabled = 0x4;
inline constexpr uint32_t kSeGroupUseForDenyOnly = 0x10;
inline constexpr uint32_t kSePrivilegeEnabled = 0x2;
inline constexpr uint32_t kSecurityBuiltinDomainRid = 32;
inline constexpr uint32_t kDomainAliasRidAdmins = 544;
inline constexpr uint32_t kErrorInsufficientBuffer = 122;
inline constexpr uint32_t kErrorNoToken = 1008;
inline constexpr uint32_t kErrorNotAllAssigned = 1300;
inline constexpr uint32_t kFormatMessageIgnoreInserts = 0x200;
inline constexpr uint32_t kFormatMessageFromSystem = 0x1000;
inline constexpr uint32_t kDigcfDeviceInterface = 0x10;
// The predefined keys are negative 32-bit numbers widened to a pointer.
inline constexpr KeyHandle kHkeyLocalMachine =
    static_cast<KeyHandle>(static_cast<intptr_t>(static_cast<int32_t>(0x80000002u)));
inline constexpr uint32_t kKeySetValue = 0x2;
inline constexpr uint32_t kKeyQueryValue = 0x1;
inline constexpr uint32_t kScManagerAllAccess = 0xF003F;
inline constexpr int32_t kErrorSuccess = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kServiceBootStart = 0;
inline constexpr uint32_t kServiceSystemStart = 1;
inline constexpr uint32_t kErrorServiceMarkedForDelete = 1072;

class DevicePlatform {
 public:
  DevicePlatform() = default;
  DevicePlatform(const DevicePlatform&) = delete;
  DevicePlatform& operator=(const DevicePlatform&) = delete;
  virtual ~DevicePlatform() = default;

  // True on the NT family (platform id kVerPlatformWin32Nt). Asks
  // GetVersionExA on the first call only; a failed query counts as 9x.
  bool IsNtFamily();

  // --- Setup API ---
  virtual DevInfoHandle SetupDiGetClassDevsW(const Guid* class_guid, const char16_t* enumerator,
                                             Handle parent, uint32_t flags) = 0;
  virtual DevInfoHandle SetupDiGetClassDevsA(const Guid* class_guid, const char* enumerator,
                                             Handle parent, uint32_t flags) = 0;
  virtual bool SetupDiEnumDeviceInfo(DevInfoHandle set, uint32_t index, SpDevinfoData* device) = 0;
  virtual bool SetupDiGetDeviceRegistryPropertyW(DevInfoHandle set, SpDevinfoData* device,
                                                 uint32_t property, uint32_t* reg_type,
                                                 uint8_t* buffer, uint32_t buffer_size,
                                                 uint32_t* required_size) = 0;
  virtual bool SetupDiGetDeviceRegistryPropertyA(DevInfoHandle set, SpDevinfoData* device,
                                                 uint32_t property, uint32_t* reg_type,
                                                 uint8_t* buffer, uint32_t buffer_size,
                                                 uint32_t* required_size) = 0;
  virtual bool SetupDiDeleteDevRegKey(DevInfoHandle set, SpDevinfoData* device, uint32_t scope,
                                      uint32_t hw_profile, uint32_t key_type) = 0;
  virtual bool SetupDiSetClassInstallParamsA(DevInfoHandle set, SpDevinfoData* device,
                                             const SpClassinstallHeader* params,
                                             uint32_t params_size) = 0;
  virtual bool SetupDiCallClassInstaller(uint32_t install_function, DevInfoHandle set,
                                         SpDevinfoData* device) = 0;
  virtual bool SetupDiBuildDriverInfoList(DevInfoHandle set, SpDevinfoData* device,
                                          uint32_t driver_type) = 0;
  virtual bool SetupDiEnumDriverInfoA(DevInfoHandle set, SpDevinfoData* device,
                                      uint32_t driver_type, uint32_t index,
                                      SpDrvinfoDataA* driver) = 0;
  // `detail` is a byte buffer that starts with an SpDrvinfoDetailDataA.
  virtual bool SetupDiGetDriverInfoDetailA(DevInfoHandle set, SpDevinfoData* device,
                                           SpDrvinfoDataA* driver, uint8_t* detail,
                                           uint32_t detail_size, uint32_t* required_size) = 0;
  virtual bool SetupDiDestroyDriverInfoList(DevInfoHandle set, SpDevinfoData* device,
                                            uint32_t driver_type) = 0;
  virtual bool SetupDiDestroyDeviceInfoList(DevInfoHandle set) = 0;
  virtual bool SetupDiEnumDeviceInterfaces(DevInfoHandle set, SpDevinfoData* device,
                                           const Guid* interface_class, uint32_t index,
                                           SpDeviceInterfaceData* interface_data) = 0;
  // `detail` is a byte buffer that starts with an SpDeviceInterfaceDetailDataA.
  virtual bool SetupDiGetDeviceInterfaceDetailA(DevInfoHandle set,
                                                SpDeviceInterfaceData* interface_data,
                                                uint8_t* detail, uint32_t detail_size,
                                                uint32_t* required_size,
                                                SpDevinfoData* device) = 0;
  virtual bool SetupDiGetDeviceInstanceIdA(DevInfoHandle set, SpDevinfoData* device,
                                           char* buffer, uint32_t buffer_size,
                                           uint32_t* required_size) = 0;
  // Returns kInvalidHandleValue on failure.
  virtual KeyHandle SetupDiOpenDevRegKey(DevInfoHandle set, SpDevinfoData* device,
                                         uint32_t scope, uint32_t hw_profile, uint32_t key_type,
                                         uint32_t access) = 0;
  // Calls the SetupUninstallOEMInfA entry point found through GetProcAddress.
  virtual bool SetupUninstallOEMInfA(ProcAddress entry, const char* inf_file_name,
                                     uint32_t flags) = 0;

  // --- advapi32: registry (results are system error codes, 0 = success) ---
  virtual int32_t RegOpenKeyExA(KeyHandle root, const char* sub_key, uint32_t options,
                                uint32_t access, KeyHandle* key) = 0;
  virtual int32_t RegQueryValueExA(KeyHandle key, const char* value_name, uint32_t* type,
                                   uint8_t* data, uint32_t* data_size) = 0;
  virtual int32_t RegEnumValueA(KeyHandle key, uint32_t index, char* name, uint32_t* name_size,
                                uint32_t* type, uint8_t* data, uint32_t* data_size) = 0;
  virtual int32_t RegCloseKey(KeyHandle key) = 0;

  // --- advapi32: service control manager (0 is the failed handle) ---
  virtual ServiceHandle OpenSCManagerA(const char* machine, const char* database,
                                       uint32_t access) = 0;
  virtual ServiceHandle OpenServiceA(ServiceHandle manager, const char* name,
                                     uint32_t access) = 0;
  // `config` is a byte buffer that starts with a QueryServiceConfigData.
  virtual bool QueryServiceConfigA(ServiceHandle service, uint8_t* config, uint32_t size,
                                   uint32_t* needed) = 0;
  virtual bool DeleteService(ServiceHandle service) = 0;
  virtual bool CloseServiceHandle(ServiceHandle handle) = 0;

  // --- kernel32 and sfc: files ---
  // Returns the length without the zero, 0 on failure, or the size needed
  // when `size` is too small.
  virtual uint32_t GetWindowsDirectoryA(char* buffer, uint32_t size) = 0;
  virtual bool DeleteFileA(const char* path) = 0;
  // Returns 0 when the module cannot be loaded.
  virtual ModuleHandle LoadLibraryA(const char* module_name) = 0;
  virtual bool FreeLibrary(ModuleHandle module) = 0;
  // Calls the SfcIsFileProtected entry point found through GetProcAddress
  // with the ANSI path widened through the system code page.
  virtual bool SfcIsFileProtected(ProcAddress entry, const char* path) = 0;

  // --- kernel32: version, memory, handles, modules, errors ---
  virtual bool GetVersionExA(OsVersionInfoA* info) = 0;
  virtual uint32_t GetVersion() = 0;
  // Returns nullptr when out of memory.
  virtual uint8_t* LocalAlloc(uint32_t flags, uint32_t bytes) = 0;
  virtual void LocalFree(uint8_t* block) = 0;
  virtual Handle GetCurrentThread() = 0;
  virtual Handle GetCurrentProcess() = 0;
  virtual bool CloseHandle(Handle handle) = 0;
  virtual uint32_t GetLastError() = 0;
  virtual ModuleHandle GetModuleHandleA(const char* module_name) = 0;
  virtual ProcAddress GetProcAddress(ModuleHandle module, const char* proc_name) = 0;
  // Writes at most `size` bytes, zero included; returns the text's length
  // without the zero, or 0 on failure.
  virtual uint32_t FormatMessageA(uint32_t flags, uint32_t message_id, uint32_t language_id,
                                  char* buffer, uint32_t size) = 0;

  // --- user32: the locale's ANSI text services ---
  virtual uint32_t CharUpperBuffA(char* text, uint32_t length) = 0;
  virtual const char* CharNextA(const char* text) = 0;
  virtual int GetSystemMetrics(int index) = 0;

  // --- advapi32: security ---
  virtual bool AllocateAndInitializeSid(const SidIdentifierAuthority* authority,
                                        uint8_t sub_authority_count, uint32_t sub0, uint32_t sub1,
                                        uint32_t sub2, uint32_t sub3, uint32_t sub4,
                                        uint32_t sub5, uint32_t sub6, uint32_t sub7,
                                        SidHandle* sid) = 0;
  virtual void FreeSid(SidHandle sid) = 0;
  virtual bool EqualSid(SidHandle first, SidHandle second) = 0;
  // Calls the CheckTokenMembership entry point found through GetProcAddress.
  virtual bool CheckTokenMembership(ProcAddress entry, Handle token, SidHandle sid,
                                    int32_t* is_member) = 0;
  virtual bool OpenThreadToken(Handle thread, uint32_t access, bool open_as_self,
                               Handle* token) = 0;
  virtual bool OpenProcessToken(Handle process, uint32_t access, Handle* token) = 0;
  virtual bool GetTokenInformation(Handle token, uint32_t info_class, uint8_t* buffer,
                                   uint32_t buffer_size, uint32_t* return_length) = 0;
  virtual bool LookupPrivilegeValueA(const char* system_name, const char* name, Luid* luid) = 0;
  virtual bool AdjustTokenPrivileges(Handle token, bool disable_all,
                                     const TokenPrivileges* new_state, uint32_t buffer_length,
                                     TokenPrivileges* previous_state,
                                     uint32_t* return_length) = 0;

 private:
  std::optional<bool> nt_family_;
};

}  // namespace engine
