// The line-number programs of .debug_line (DWARF 2 to 5, 32-bit format,
// 4-byte addresses), run into rows per compilation unit. Each row keeps the
// file it belongs to: code of one unit comes from its source file and from
// every header whose functions were inlined or instantiated there.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qor::convert {

struct LineRow {
  uint32_t address = 0;
  uint32_t line = 0;
  uint32_t file = 0;  // the program's file number
};

// Rows of one sequence in program order; `end` is the address of its
// end_sequence row (the first address after its code).
struct LineSequence {
  std::vector<LineRow> rows;
  uint32_t end = 0;
};

struct LineProgram {
  uint64_t offset = 0;             // of the program in .debug_line, as units refer to it
  std::vector<std::string> files;  // base names by file number ("" when unnamed)
  std::vector<LineSequence> sequences;

  // Base name of file `number`; "" for a number the program does not define.
  const std::string& FileName(uint64_t number) const;
};

// Runs every line program in `debug_line`. `line_strings` is .debug_line_str
// and `strings` .debug_str (either may be empty when unused). False, with
// `error` set, on a header or opcode that runs past its unit.
bool ReadLinePrograms(std::span<const uint8_t> debug_line, std::span<const uint8_t> line_strings,
                      std::span<const uint8_t> strings, std::vector<LineProgram>& programs,
                      std::string& error);

}  // namespace qor::convert
