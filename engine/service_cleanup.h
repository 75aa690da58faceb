// The driver service of a device (NT family): where its image file lies,
// and in remove mode its deletion, but only of a service that is provably
// the instruments' own. A service stays, with its image file, when
//  - its image is not a ".sys" file directly in System32\drivers (a UNC
//    path, a path with "..", a file elsewhere on the disk),
//  - a device outside the removal names it, present or not,
//  - Windows provides it: a well-known USB class service, a boot or system
//    start service, the service of a driver installed from an inbox INF, or
//    one whose image the system protects,
//  - or the service manager does not delete it.
#pragma once

#include "engine/device_platform.h"
#include "engine/device_record.h"
#include "engine/foreign_use.h"

namespace engine {

// NT family, after the device node was removed: fills record.driver_file
// from the device's service. In remove mode deletes the service by the
// rules above; record.driver_file stays filled only when the service is
// gone or marked for deletion, so that its image file may follow.
void LookUpServiceFile(DevicePlatform& platform, DeviceRecord& record, WalkMode mode,
                       ForeignUse& foreign);

}  // namespace engine
