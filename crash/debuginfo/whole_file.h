// Reading a companion file of a module in one piece.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qor {

// The whole content of `path`. False when the file does not exist, cannot
// be opened, is empty, or yields fewer bytes than its size.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes);

}  // namespace qor
