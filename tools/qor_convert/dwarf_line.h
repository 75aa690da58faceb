// The line-number programs of .debug_line (DWARF 4 and 5, 32-bit format,
// 4-byte addresses), run into rows per compilation unit.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qor::convert {

struct LineRow {
  uint32_t address = 0;
  uint32_t line = 0;
};

// Rows of one sequence in program order; `end` is the address of its
// end_sequence row (the first address after its code).
struct LineSequence {
  std::vector<LineRow> rows;
  uint32_t end = 0;
};

struct LineProgram {
  std::string source_name;  // the compilation unit's own source file, without path
  std::vector<LineSequence> sequences;
};

// Runs every line program in `debug_line`. `line_strings` is .debug_line_str
// and `strings` .debug_str (either may be empty when unused). False, with
// `error` set, on a header or opcode that runs past its unit.
bool ReadLinePrograms(std::span<const uint8_t> debug_line, std::span<const uint8_t> line_strings,
                      std::span<const uint8_t> strings, std::vector<LineProgram>& programs,
                      std::string& error);

}  // namespace qor::convert
