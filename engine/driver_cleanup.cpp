#include "engine/driver_cleanup.h"

namespace engine {

void ScanDriverKey(DevicePlatform&, DevInfoHandle, SpDevinfoData&, DeviceRecord&) {}

void LookUpServiceFile(DevicePlatform&, DeviceRecord&, WalkMode) {}

void DeleteDriverFiles(DevicePlatform&, const DeviceRecord&, WalkMode, bool) {}

}  // namespace engine
