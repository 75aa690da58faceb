// The version number from a file's version resource.
#pragma once

#include <cstdint>
#include <string>

namespace qor {

// The fixed file version of `path`: FileVersionMS in the high half,
// FileVersionLS in the low half; 0 when the file has no version resource.
// Windows only.
uint64_t FileVersion(const std::string& path);

// "major.minor.release.build", all decimal.
std::string VersionText(uint64_t version);

}  // namespace qor
