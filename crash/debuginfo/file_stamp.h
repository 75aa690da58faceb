// The stamp by which the debug-information cache notices a replaced module
// file: its last-write time packed as a DOS date and time.
#pragma once

#include <cstdint>
#include <string>

namespace qor {

// DOS date (low 16 bits) and DOS time (high 16 bits, 2-second steps) of
// the last write of `path`, in UTC. False when the file's time cannot be
// read or lies outside the DOS range (1980 to 2107).
bool FileStamp(const std::string& path, uint32_t& stamp);

}  // namespace qor
