// The per-device steps of the device walks: reading a device's properties,
// listing its drivers' INF files, deleting its registry keys and removing
// its device node through the class installer. Every Setup API failure is
// silent: the step leaves the record as it is and the walk goes on.
#pragma once

#include "engine/device_platform.h"
#include "engine/device_record.h"

namespace engine {

// NT family: the service name and the hardware ids, each sized by the wide
// query and read by the ANSI one.
void ReadDevicePropertiesNT(DevicePlatform& platform, DevInfoHandle set, SpDevinfoData& device,
                            DeviceRecord& record);

// 9x family: the hardware ids only.
void ReadDeviceProperties9x(DevicePlatform& platform, DevInfoHandle set, SpDevinfoData& device,
                            DeviceRecord& record);

// Appends to record.inf_files the INF file of every compatible driver
// whose model line names an instrument id.
void CollectInfFiles(DevicePlatform& platform, DevInfoHandle set, SpDevinfoData& device,
                     DeviceRecord& record);

// Fills record.installed_inf from the "InfPath" value of the device's
// driver key; leaves it empty when there is no such key or text.
void ReadInstalledInf(DevicePlatform& platform, DevInfoHandle set, SpDevinfoData& device,
                      DeviceRecord& record);

// NT family: deletes the hardware and driver keys of every hardware profile.
void DeleteDeviceKeys(DevicePlatform& platform, DevInfoHandle set, SpDevinfoData& device);

// False when the class installer did not remove the device node.
bool RemoveDeviceNT(DevicePlatform& platform, DevInfoHandle set, SpDevinfoData& device);

// Deletes the driver key, removes the device node and, only when that
// worked, deletes the hardware key. False when the node stays.
bool RemoveDevice9x(DevicePlatform& platform, DevInfoHandle set, SpDevinfoData& device);

}  // namespace engine
