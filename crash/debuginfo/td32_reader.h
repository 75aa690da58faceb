// Reading TD32 debug information, the tool chain's own debug format: a
// subsection directory over names, modules, source modules and symbols.
#pragma once

#include <cstdint>
#include <span>

#include "crash/debuginfo/map_file.h"

namespace qor {

// True when `data` starts with the signature "FB09" or "FB0A".
bool HasTd32Signature(std::span<const uint8_t> data);

// Adds the units, lines and publics of the TD32 data in `data` (from its
// "FB09" or "FB0A" signature on) to `map`, whose bases must be set; the
// module has one code section. False, with the tables left empty, for
// another signature, for a directory, subsection, record or name that
// reaches outside the data, or when the data holds nothing.
bool ReadTd32(std::span<const uint8_t> data, TMapFile& map);

}  // namespace qor
