// Removal of what a device's driver leaves behind: its image file, its
// driver packages (INF files and their PNF twins) and its service. The
// walks call these steps at fixed points for every matching device. Every
// failure is silent: what cannot be read or deleted stays, and the walk
// goes on. In probe mode the steps only read.
//
// Beyond the plain deletions the steps keep the user's system whole: a
// file that the system protects is never deleted, the NT family deletes
// only OEM INF files (never an inbox INF that a device merely lists as
// compatible), a service that a device outside the instrument table also
// uses keeps itself and its image file, and where the system has a driver
// store each OEM INF leaves it through the system's own uninstall call.
#pragma once

#include "engine/device_platform.h"
#include "engine/device_record.h"

namespace engine {

// 9x family, first step at a matching device: fills record.driver_file
// from the "NTMPDriver" value of the device's driver key.
void ScanDriverKey(DevicePlatform& platform, DevInfoHandle set, SpDevinfoData& device,
                   DeviceRecord& record);

// NT family, after the device node was removed: fills record.driver_file
// from the device's service; in remove mode deletes the service unless a
// device of `set` outside the instrument table uses it too (then the image
// file is kept as well, and record.driver_file stays empty).
void LookUpServiceFile(DevicePlatform& platform, DevInfoHandle set, DeviceRecord& record,
                       WalkMode mode);

// Last step of both walks: in remove mode deletes the driver file and the
// INF and PNF files of the record (the 9x family also the INF copies named
// with CurrentManufacturer()).
void DeleteDriverFiles(DevicePlatform& platform, const DeviceRecord& record, WalkMode mode,
                       bool nt_family);

// The Windows directory as the system reports it; empty when it does not
// fit 260 bytes or cannot be read.
std::string WindowsDirectory(DevicePlatform& platform);

}  // namespace engine
