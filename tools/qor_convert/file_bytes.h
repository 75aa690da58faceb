// Whole-file reads and writes for the host tools.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qor::convert {

// False when the file cannot be opened or read completely.
bool LoadFile(const std::string& path, std::vector<uint8_t>& bytes);

// Writes `bytes` to a temporary file beside `path` and renames it over
// `path`, so a failed write never leaves a half-written program. False when
// either step fails.
bool SaveFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace qor::convert
