#include "engine/manufacturer_lookup.h"

namespace engine {

std::string LookUpManufacturer(DevicePlatform&, const Guid&) { return {}; }

}  // namespace engine
