// The inlined calls recorded in .debug_info: for every piece of code that
// the compiler inlined, which function it came from, where that function
// was called, and which inlined call (if any) holds it. DWARF 2 to 5,
// 32-bit format, 4-byte addresses.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tools/qor_convert/dwarf_line.h"

namespace qor::convert {

// The sections the reader uses; any may be empty.
struct DwarfSections {
  std::span<const uint8_t> info, abbrev, str, line_str, str_offsets, addr, ranges, rnglists;
};

struct PcRange {
  uint32_t begin = 0;
  uint32_t end = 0;  // exclusive
};

struct InlinedCall {
  std::vector<PcRange> ranges;
  std::string function;   // readable name of the inlined function
  std::string call_file;  // base name of the file that holds the call
  uint32_t call_line = 0;
  int32_t parent = -1;    // the inlined call that holds this one; -1: a real function does
  int32_t depth = 1;      // 1 directly inside a real function
};

// Appends the inlined calls of every compilation unit, parents before
// their children. `programs` are the line programs, whose file numbers the
// calls refer to. False, with `error` set, when a unit header or an
// abbreviation table is damaged; calls of the units before it stay.
bool ReadInlinedCalls(const DwarfSections& sections, const std::vector<LineProgram>& programs,
                      std::vector<InlinedCall>& calls, std::string& error);

}  // namespace qor::convert
