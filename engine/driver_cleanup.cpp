#include "engine/driver_cleanup.h"

#include <string>

#include "engine/device_walk.h"
#include "engine/driver_paths.h"
#include "engine/platform_handle.h"
#include "engine/protected_files.h"

namespace engine {
namespace {

constexpr char kDriverValueName[] = "NTMPDriver";
constexpr char kDriversFolder[] = "\\SYSTEM32\\DRIVERS\\";
constexpr uint32_t kWindowsDirectorySize = 260;
constexpr uint32_t kValueBufferSize = 255;

// Deletes files unless the system protects them.
class FileDeleter {
 public:
  explicit FileDeleter(DevicePlatform& platform) : platform_(platform), protected_(platform) {}

  void Delete(const std::string& path) {
    if (path.empty() || protected_.Covers(path)) return;
    platform_.DeleteFileA(path.c_str());
  }

 private:
  DevicePlatform& platform_;
  ProtectedFiles protected_;
};

void DeleteNtPackages(DevicePlatform& platform, FileDeleter& deleter,
                      const std::string& windows_directory, const DeviceRecord& record,
                      ForeignUse& foreign) {
  const ModuleHandle setupapi = platform.GetModuleHandleA("setupapi.dll");
  const ProcAddress uninstall =
      setupapi ? platform.GetProcAddress(setupapi, "SetupUninstallOEMInfA") : 0;
  for (const std::string& inf : record.inf_files) {
    if (!IsOemInfFile(windows_directory, inf) || foreign.UsesInf(FileNameOf(inf))) continue;
    // Takes the package out of the driver store too. It refuses while a
    // device still uses the package, and then the files stay as well, so
    // that the store and the INF folder agree.
    if (uninstall && !platform.SetupUninstallOEMInfA(uninstall, FileNameOf(inf).c_str(), 0)) {
      continue;
    }
    deleter.Delete(inf);
    deleter.Delete(PnfTwinOf(inf));
  }
}

void Delete9xPackages(FileDeleter& deleter, const std::string& windows_directory,
                      const DeviceRecord& record, ForeignUse& foreign) {
  const std::string& manufacturer = CurrentManufacturer();
  // The manufacturer text becomes part of a file name; any other text
  // would reach beyond the copies' folder, and that copy stays.
  const bool copy_named = manufacturer.empty() || IsSingleFileName(manufacturer);
  for (const std::string& inf : record.inf_files) {
    const std::string name = FileNameOf(inf);
    if (!IsVendorInf9x(windows_directory, inf) || foreign.UsesInf(name) ||
        (copy_named && foreign.UsesInf(manufacturer + name))) {
      continue;
    }
    // An INF of the "other" folder is such a copy itself.
    if (copy_named && IsOemInfFile(windows_directory, inf)) {
      deleter.Delete(OtherCopyOf(inf, manufacturer));
    }
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
    const std::string file = reinterpret_cast<const char*>(data);
    // Anything but a single file name ("..\\x.exe") would name a file
    // outside the drivers folder.
    if (SameAsciiText(name, kDriverValueName) && IsSingleFileName(file)) {
      const std::string windows = WindowsDirectory(platform);
      // Without the Windows directory the text would name a file at the
      // root of the current drive; better no driver file at all.
      if (!windows.empty()) record.driver_file = windows + kDriversFolder + file;
    }
  }
}

void DeleteDriverFiles(DevicePlatform& platform, const DeviceRecord& record, WalkMode mode,
                       bool nt_family, ForeignUse& foreign) {
  if (mode != WalkMode::Remove) return;
  const std::string windows = WindowsDirectory(platform);
  FileDeleter deleter(platform);
  if (IsDeletableDriverFile(windows, record.driver_file)) deleter.Delete(record.driver_file);
  if (nt_family) {
    DeleteNtPackages(platform, deleter, windows, record, foreign);
  } else {
    Delete9xPackages(deleter, windows, record, foreign);
  }
}

}  // namespace engine
