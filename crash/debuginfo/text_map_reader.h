// Reading the detailed text map file that the tool chain's linker writes
// beside a module (".map"): its segment list, the units of the detailed
// map of segments, the publics by value, the line numbers and the entry
// point.
#pragma once

#include <string_view>

#include "crash/debuginfo/map_file.h"

namespace qor {

// Adds what `text` (the whole file) holds to the tables of `map`, whose
// bases must be set. Lines that are not understood are skipped; there is
// no failure.
void ReadTextMap(std::string_view text, TMapFile& map);

}  // namespace qor
