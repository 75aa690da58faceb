// The day of a file's last write, by which a debug file older than the
// linker's map beside it is recognised as left over from an earlier build.
#pragma once

#include <cstdint>
#include <string>

namespace qor {

// Whole days (UTC) of the last-write time of `path`; false when the time
// cannot be read.
bool FileDay(const std::string& path, int64_t& day);

}  // namespace qor
