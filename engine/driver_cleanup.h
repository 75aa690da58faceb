// Removal of what a device's driver leaves on disk: its image file and its
// driver packages (INF files and their PNF twins, and on the 9x family the
// copies it keeps). The walks call these steps at fixed points for every
// matching device. Every failure is silent: what cannot be read or deleted
// stays, and the walk goes on. In probe mode the steps only read.
//
// Only what is provably the instruments' own is deleted:
//  - an image file only when it is a ".sys" file directly inside
//    System32\drivers (see IsDeletableDriverFile), and never a file the
//    system protects;
//  - a driver package only when its driver names an instrument id (see
//    CollectInfFiles), it is a vendor package that Setup copied in (never
//    an inbox INF), no device outside the removal was installed from it,
//    and, on the NT family where the system has it, SetupUninstallOEMInfA
//    accepted to uninstall it;
//  - on the 9x family the texts from the registry that name files are
//    single file names, or the file they would name stays.
#pragma once

#include <string>

#include "engine/device_platform.h"
#include "engine/device_record.h"
#include "engine/foreign_use.h"

namespace engine {

// 9x family, first step at a matching device: fills record.driver_file
// from the "NTMPDriver" value of the device's driver key, when that value
// is a single file name.
void ScanDriverKey(DevicePlatform& platform, DevInfoHandle set, SpDevinfoData& device,
                   DeviceRecord& record);

// Last step of both walks: in remove mode deletes the driver file and the
// driver packages of the record by the rules above (the 9x family also the
// INF copies named with CurrentManufacturer()).
void DeleteDriverFiles(DevicePlatform& platform, const DeviceRecord& record, WalkMode mode,
                       bool nt_family, ForeignUse& foreign);

// The Windows directory as the system reports it; empty when it does not
// fit 260 bytes or cannot be read.
std::string WindowsDirectory(DevicePlatform& platform);

}  // namespace engine
