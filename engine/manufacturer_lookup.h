// The manufacturer text of an instrument driver, found through the driver's
// device interface class; the 9x family names its copies of INF files with it.
#pragma once

#include <string>

#include "engine/device_platform.h"

namespace engine {

// Not built yet: answers the empty text without asking the system.
std::string LookUpManufacturer(DevicePlatform& platform, const Guid& interface_class);

}  // namespace engine
