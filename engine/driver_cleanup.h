// Removal of what a device's driver leaves behind: its image file, its
// driver packages (INF files and their PNF twins) and its service. The
// walks call these steps at fixed points for every matching device.
//
// Not built yet: each step currently leaves the record and the system as
// they are, and the walks are complete without them.
#pragma once

#include "engine/device_platform.h"
#include "engine/device_record.h"

namespace engine {

// 9x family, first step at a matching device: fills record.driver_file
// from the device's driver key.
void ScanDriverKey(DevicePlatform& platform, DevInfoHandle set, SpDevinfoData& device,
                   DeviceRecord& record);

// NT family, after the device node was removed: fills record.driver_file
// from the device's service; in remove mode deletes the service.
void LookUpServiceFile(DevicePlatform& platform, DeviceRecord& record, WalkMode mode);

// Last step of both walks: in remove mode deletes the driver file and the
// INF and PNF files of the record.
void DeleteDriverFiles(DevicePlatform& platform, const DeviceRecord& record, WalkMode mode,
                       bool nt_family);

}  // namespace engine
