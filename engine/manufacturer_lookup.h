// The manufacturer text of an instrument driver, found through the driver's
// device interface class; the 9x family names its copies of INF files with it.
#pragma once

#include <string>

#include "engine/device_platform.h"

namespace engine {

// The "Mfg" value of the registry key ENUM\<instance id> of the device that
// owns the first interface of `interface_class`, present or not. Empty when
// there is no such interface, key or value (always on the NT family, whose
// registry has no such key).
std::string LookUpManufacturer(DevicePlatform& platform, const Guid& interface_class);

}  // namespace engine
