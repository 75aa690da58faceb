// Writing the tool chain linker's detailed text map (".map") from tables:
// segment list, detailed map of segments, publics by name and by value,
// line numbers per unit and the entry point, with CR LF line ends.
#pragma once

#include <cstdint>
#include <string>

#include "crash/debuginfo/testing/debug_tables.h"

namespace qor::test {

struct TextMapLayout {
  uint32_t code_address = 0x00401000;  // where ".text" is linked; listed only
  uint32_t code_size = 0x1000;         // length of ".text"
  // Code from `code_size` rounded up to a page on lies in a second code
  // section ".itext" (segment 2); the data segment is then number 3.
  bool second_code_section = false;
};

std::string WriteTextMap(const DebugTables& tables, const TextMapLayout& layout);

}  // namespace qor::test
