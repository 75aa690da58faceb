// Where each stretch of a program's code comes from: the source location
// of the function that was really called (for inlined code, its call in
// that function), and the chain of inlined functions at that place.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/qor_convert/dwarf_info.h"
#include "tools/qor_convert/dwarf_line.h"

namespace qor::convert {

struct InlineLevel {
  std::string function;  // readable name of the inlined function
  std::string file;      // base name
  uint32_t line = 0;     // where execution is inside that function
};

struct LocatedRange {
  uint32_t begin = 0;
  uint32_t end = 0;  // exclusive
  // The outermost location: file (base name) and line in the real function.
  std::string file;
  uint32_t line = 0;
  std::vector<InlineLevel> inlined;  // innermost first; empty outside inlined code
};

// Which sequences to use: those whose code [begin, end) the program kept.
using KeepCode = std::function<bool(uint32_t begin, uint32_t end)>;

// The stretches of every kept sequence, ascending and not overlapping; a
// new stretch starts wherever the line table or an inlined call changes.
std::vector<LocatedRange> LocateCode(const std::vector<LineProgram>& programs,
                                     const std::vector<InlinedCall>& calls, const KeepCode& keep);

}  // namespace qor::convert
