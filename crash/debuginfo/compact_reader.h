// Reading the compact debug-information format into a TMapFile.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "crash/debuginfo/compact_format.h"
#include "crash/debuginfo/map_file.h"

namespace qor {

// Deciphers and unpacks the payload that `header` describes in `data`.
// Empty when the packed block inside is damaged.
std::vector<uint8_t> DecodeCompactPayload(std::span<const uint8_t> data,
                                          const CompactHeader& header);

// Appends the payload's segments, publics and lines to `map` (addresses
// relative to map.BaseOfCode) and takes the trailing entry point. In
// `minimal` mode names are placeholders and segments carry HasLines. False
// when a section is truncated; what was read so far stays in the tables.
bool ReadCompactPayload(std::span<const uint8_t> payload, bool minimal, TMapFile& map);

// Replaces map.Inlines with the inline-chain table that may follow the
// payload (addresses relative to map.BaseOfCode). True when there is none
// or it was read; false when it is damaged, and then the table is left
// empty: the rest of the debug information does not depend on it.
bool ReadCompactInlines(std::span<const uint8_t> data, const CompactHeader& header, TMapFile& map);

// The 31-character MinDebugInfo value in the bytes of a settings resource:
// what follows byte 12, "MinDebugInfo", byte 12 and the 32-bit length 31.
// Empty when the sequence is missing or the value is cut off.
std::string FindMinDebugInfo(std::span<const uint8_t> settings);

}  // namespace qor
