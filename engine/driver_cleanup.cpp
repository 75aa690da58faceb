#include "engine/driver_cleanup.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "engine/device_steps.h"
#include "engine/device_walk.h"
#include "engine/driver_paths.h"
#include "engine/instrument_table.h"
#include "engine/local_buffer.h"
#include "engine/platform_handle.h"

namespace engine {
namespace {

constexpr char kDriverValueName[] = "NTMPDriver";
constexpr char kDriversFolder[] = "\\SYSTEM32\\DRIVERS\\";
constexpr uint32_t kWindowsDirectorySize = 260;
constexpr uint32_t kValueBufferSize = 255;

bool SameAsciiName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// A module from LoadLibraryA, freed on every path; 0 when none was loaded.
class LoadedLibrary {
 public:
  LoadedLibrary(DevicePlatform& platform, const char* name)
      : platform_(platform), module_(platform.LoadLibraryA(name)) {}
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;
  ~LoadedLibrary() {
    if (module_) platform_.FreeLibrary(module_);
  }
  ModuleHandle get() const { return module_; }

 private:
  DevicePlatform& platform_;
  ModuleHandle module_;
};

// Deletes files unless the system protects them. Loads sfc.dll for the
// lifetime of one cleanup step; where it or its entry point is missing
// (the 9x family, old systems) no file counts as protected.
class FileDeleter {
 public:
  explicit FileDeleter(DevicePlatform& platform) : platform_(platform), sfc_(platform, "sfc.dll") {
    if (sfc_.get()) is_protected_ = platform.GetProcAddress(sfc_.get(), "SfcIsFileProtected");
  }

  void Delete(const std::string& path) {
    if (path.empty()) return;
    if (is_protected_ && platform_.SfcIsFileProtected(is_protected_, path.c_str())) return;
    platform_.DeleteFileA(path.c_str());
  }

 private:
  DevicePlatform& platform_;
  LoadedLibrary sfc_;
  ProcAddress is_protected_ = 0;
};

// True when a device of `set` whose hardware ids match no instrument id
// names `service` as its service, present or not.
bool ServiceUsedOutsideTable(DevicePlatform& platform, DevInfoHandle set,
                             const std::string& service) {
  SpDevinfoData other{};
  other.cbSize = sizeof(other);
  for (uint32_t index = 0; platform.SetupDiEnumDeviceInfo(set, index, &other); ++index) {
    DeviceRecord record;
    ReadDevicePropertiesNT(platform, set, other, record);
    if (!SameAsciiName(record.service_name, service)) continue;
    if (!IsInstrumentDevice(platform, record.hardware_ids)) return true;
  }
  return false;
}

// The image path of the open service; empty when the query fails.
std::string ImagePathOf(DevicePlatform& platform, ServiceHandle service) {
  uint32_t needed = 0;
  platform.QueryServiceConfigA(service, nullptr, 0, &needed);
  LocalBuffer config(platform, needed);
  if (!config.data() || config.size() < sizeof(QueryServiceConfigData)) return {};
  if (!platform.QueryServiceConfigA(service, config.data(), config.size(), &needed)) return {};
  QueryServiceConfigData data;
  std::memcpy(&data, config.data(), sizeof(data));
  return data.lpBinaryPathName ? data.lpBinaryPathName : "";
}

void DeleteNtPackages(DevicePlatform& platform, FileDeleter& deleter, const DeviceRecord& record) {
  const std::string windows = WindowsDirectory(platform);
  const ModuleHandle setupapi = platform.GetModuleHandleA("setupapi.dll");
  const ProcAddress uninstall =
      setupapi ? platform.GetProcAddress(setupapi, "SetupUninstallOEMInfA") : 0;
  for (const std::string& inf : record.inf_files) {
    if (inf.empty() || !IsOemInfFile(windows, inf)) continue;
    // Takes the package out of the driver store too; refuses while a
    // device still uses it, and then the files below stay in use as well.
    if (uninstall) platform.SetupUninstallOEMInfA(uninstall, FileNameOf(inf).c_str(), 0);
    deleter.Delete(inf);
    deleter.Delete(PnfTwinOf(inf));
  }
}

void Delete9xPackages(FileDeleter& deleter, const DeviceRecord& record) {
  for (const std::string& inf : record.inf_files) {
    if (inf.empty()) continue;
    deleter.Delete(OtherCopyOf(inf, CurrentManufacturer()));
    deleter.Delete(inf);
    deleter.Delete(PnfTwinOf(inf));
  }
}

}  // namespace

std::string WindowsDirectory(DevicePlatform& platform) {
  char buffer[kWindowsDirectorySize] = {};
  const uint32_t length = platform.GetWindowsDirectoryA(buffer, kWindowsDirectorySize);
  if (length == 0 || length >= kWindowsDirectorySize) return {};
  return std::string(buffer, length);
}

void ScanDriverKey(DevicePlatform& platform, DevInfoHandle set, SpDevinfoData& device,
                   DeviceRecord& record) {
  // Enumerating values needs the query right. The 9x family ignores the
  // mask, but an NT system answering as 9x (compatibility mode) refuses the
  // enumeration without it and the driver file would stay behind.
  const KeyHandle handle = platform.SetupDiOpenDevRegKey(set, &device, kDicsFlagGlobal, 0,
                                                         kDiregDrv, kKeySetValue | kKeyQueryValue);
  if (handle == kInvalidHandleValue) return;
  OwnedKey key(platform, handle);
  for (uint32_t index = 0;; ++index) {
    char name[kValueBufferSize] = {};
    uint8_t data[kValueBufferSize + 1] = {};  // one spare zero ends any text
    uint32_t name_size = kValueBufferSize;
    uint32_t data_size = kValueBufferSize;
    uint32_t type = 0;
    if (platform.RegEnumValueA(key.get(), index, name, &name_size, &type, data, &data_size) !=
        kErrorSuccess) {
      return;
    }
    if (SameAsciiName(name, kDriverValueName)) {
      const std::string windows = WindowsDirectory(platform);
      // Without the Windows directory the text would name a file at the
      // root of the current drive; better no driver file at all.
      if (!windows.empty()) {
        record.driver_file = windows + kDriversFolder + reinterpret_cast<const char*>(data);
      }
    }
  }
}

void LookUpServiceFile(DevicePlatform& platform, DevInfoHandle set, DeviceRecord& record,
                       WalkMode mode) {
  const ServiceHandle manager_handle =
      platform.OpenSCManagerA(nullptr, nullptr, kScManagerAllAccess);
  if (!manager_handle) return;
  OwnedService manager(platform, manager_handle);
  const ServiceHandle service_handle =
      platform.OpenServiceA(manager.get(), record.service_name.c_str(), kScManagerAllAccess);
  if (!service_handle) return;
  OwnedService service(platform, service_handle);
  record.driver_file = DriverFileOfImagePath(WindowsDirectory(platform),
                                             ImagePathOf(platform, service.get()));
  if (mode != WalkMode::Remove) return;
  if (ServiceUsedOutsideTable(platform, set, record.service_name)) {
    record.driver_file.clear();
    return;
  }
  platform.DeleteService(service.get());
}

void DeleteDriverFiles(DevicePlatform& platform, const DeviceRecord& record, WalkMode mode,
                       bool nt_family) {
  if (mode != WalkMode::Remove) return;
  FileDeleter deleter(platform);
  deleter.Delete(record.driver_file);
  if (nt_family) {
    DeleteNtPackages(platform, deleter, record);
  } else {
    Delete9xPackages(deleter, record);
  }
}

}  // namespace engine
