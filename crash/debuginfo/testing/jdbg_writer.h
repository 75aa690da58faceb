// Writing JDBG files from tables, as the JEDI library's converter lays
// them out: a 34-byte header, units named by source file, symbols split at
// their first "." into two names, line numbers, all as variable-length
// deltas, and a name area whose names use the packed 6-bit coding where
// they can.
#pragma once

#include <cstdint>
#include <vector>

#include "crash/debuginfo/testing/debug_tables.h"

namespace qor::test {

struct JdbgOptions {
  bool checksum = true;  // store a checksum and mark it valid
};

// The code segments (by start) become units named `unit` + ".pas" unless
// the unit name has an extension, the code publics symbols; data is not
// part of the format.
std::vector<uint8_t> WriteJdbg(const DebugTables& tables, const JdbgOptions& options);

// Header offsets that tests change on purpose.
inline constexpr size_t kJdbgChecksumAt = 29;
inline constexpr size_t kJdbgChecksumValidAt = 33;

}  // namespace qor::test
