// Reading DWARF sections: the bounded cursor, strings of the string
// sections, and file names.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "crash/modules/byte_cursor.h"

namespace qor::convert {

using Cursor = ::qor::ByteCursor;

// The NUL-terminated string at `offset` of a string section; empty when the
// offset lies outside it.
inline std::string StringAt(std::span<const uint8_t> section, uint64_t offset) {
  if (offset >= section.size()) return {};
  const char* text = reinterpret_cast<const char*>(section.data() + offset);
  return std::string(text, strnlen(text, section.size() - static_cast<size_t>(offset)));
}

// The last component of a path written with either kind of slash.
inline std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace qor::convert
