#include "engine/service_cleanup.h"

#include <cstring>
#include <string>

#include "engine/driver_cleanup.h"
#include "engine/driver_paths.h"
#include "engine/local_buffer.h"
#include "engine/platform_handle.h"
#include "engine/protected_files.h"

namespace engine {
namespace {

// USB class services that Windows ships and that many makers' devices
// share. The last line of defence, for where the facts the system gives
// (start type, installing INF, protection) do not show it.
constexpr const char* kWindowsUsbServices[] = {
    "WinUSB", "usbser", "HidUsb", "usbccgp", "usbhub", "USBSTOR", "usbprint", "usbaudio",
    "usbvideo", "WUDFRd"};

struct ServiceConfig {
  std::string image_path;
  uint32_t start_type = 0;
};

// The configuration of the open service; false when it cannot be read.
bool QueryConfig(DevicePlatform& platform, ServiceHandle service, ServiceConfig& config) {
  uint32_t needed = 0;
  platform.QueryServiceConfigA(service, nullptr, 0, &needed);
  LocalBuffer buffer(platform, needed);
  if (!buffer.data() || buffer.size() < sizeof(QueryServiceConfigData)) return false;
  if (!platform.QueryServiceConfigA(service, buffer.data(), buffer.size(), &needed)) return false;
  QueryServiceConfigData data;
  std::memcpy(&data, buffer.data(), sizeof(data));
  config.image_path = data.lpBinaryPathName ? data.lpBinaryPathName : "";
  config.start_type = data.dwStartType;
  return true;
}

bool IsWindowsService(DevicePlatform& platform, const DeviceRecord& record,
                      const ServiceConfig& config) {
  for (const char* name : kWindowsUsbServices) {
    if (SameAsciiText(record.service_name, name)) return true;
  }
  // Only drivers the system needs before it runs are started at boot or
  // system start; an instrument's driver waits for its device.
  if (config.start_type == kServiceBootStart || config.start_type == kServiceSystemStart) {
    return true;
  }
  // The device's driver came from an INF that Windows brought along, which
  // installed the service too.
  if (!record.installed_inf.empty() && !IsOemInfName(FileNameOf(record.installed_inf))) {
    return true;
  }
  return ProtectedFiles(platform).Covers(record.driver_file);
}

bool IsInstrumentService(DevicePlatform& platform, const std::string& windows_directory,
                         const DeviceRecord& record, const ServiceConfig& config,
                         ForeignUse& foreign) {
  return IsDeletableDriverFile(windows_directory, record.driver_file) &&
         !foreign.NamesService(record.service_name) &&
         !IsWindowsService(platform, record, config);
}

// True when the service is gone or going: deleted now, or marked for
// deletion before (it goes when its last handle closes).
bool DeleteServiceOf(DevicePlatform& platform, ServiceHandle service) {
  return platform.DeleteService(service) ||
         platform.GetLastError() == kErrorServiceMarkedForDelete;
}

}  // namespace

void LookUpServiceFile(DevicePlatform& platform, DeviceRecord& record, WalkMode mode,
                       ForeignUse& foreign) {
  const ServiceHandle manager_handle =
      platform.OpenSCManagerA(nullptr, nullptr, kScManagerAllAccess);
  if (!manager_handle) return;
  const OwnedService manager(platform, manager_handle);
  const ServiceHandle service_handle =
      platform.OpenServiceA(manager.get(), record.service_name.c_str(), kScManagerAllAccess);
  if (!service_handle) return;
  const OwnedService service(platform, service_handle);
  // A service whose configuration cannot be read cannot be shown to be
  // the instruments' own: it stays.
  ServiceConfig config;
  if (!QueryConfig(platform, service.get(), config)) return;
  const std::string windows = WindowsDirectory(platform);
  record.driver_file = DriverFileOfImagePath(windows, config.image_path);
  if (mode != WalkMode::Remove) return;
  // A service pointing at a missing file would fail at every start, so the
  // image follows only a service that is gone.
  if (!IsInstrumentService(platform, windows, record, config, foreign) ||
      !DeleteServiceOf(platform, service.get())) {
    record.driver_file.clear();
  }
}

}  // namespace engine
