// Reading JDBG files, the binary debug format of the open-source JEDI
// library (".jdbg" beside a module): units, symbols and line numbers as
// variable-length deltas, names in a packed name area.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "crash/debuginfo/map_file.h"

namespace qor {

// Adds the units, symbols and lines of the JDBG file held in `data` to
// `map`, whose bases must be set. False, with the tables left empty, when
// the signature, size, version or checksum is wrong, when any offset,
// name or value lies outside the data, or when the file holds nothing.
bool ReadJdbg(std::span<const uint8_t> data, TMapFile& map);

// ReadJdbg over the file at `path`; false when it cannot be read whole.
bool ReadJdbgFile(const std::string& path, TMapFile& map);

}  // namespace qor
