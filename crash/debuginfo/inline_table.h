// The inlined functions at each code address of a module. For inlined code
// the unit, line and function of the debug information are those of the
// call in the function that was really called; this table adds the chain
// of inlined functions there, so a stack line can name them as well.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qor {

struct InlineFrame {
  std::string function;  // readable name of the inlined function
  std::string unit;      // source file the code at the address comes from
  int32_t line = 0;
};

class InlineTable {
 public:
  // Appends the range that starts at `start` and runs up to the next
  // range's start (or without end), holding `frames`, innermost first (none:
  // no inlined code). Starts must rise; a range that does not is dropped.
  void Add(uint32_t start, const std::vector<InlineFrame>& frames);

  // The frames at `address`, innermost first; empty outside inlined code.
  std::vector<InlineFrame> At(uint32_t address) const;

  bool Empty() const { return ranges_.empty(); }
  void Clear();

 private:
  struct Level {
    uint32_t function, unit;  // indexes into texts_
    int32_t line;
  };
  struct Range {
    uint32_t start, first, count;  // levels_[first, first + count)
  };
  uint32_t Intern(const std::string& text);

  std::vector<std::string> texts_;
  std::vector<Level> levels_;
  std::vector<Range> ranges_;
};

}  // namespace qor
