// The lines of a function listing before they become one text: the mark,
// the line-number column and the line limit work on whole lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qor {

class ListingLines {
 public:
  // A label or table line: the address in front of `body`.
  void Add(uint32_t address, const std::string& body);
  // Instruction text that already starts with its address; several lines
  // (the "db" lines of bytes that are no instruction) joined by CR LF.
  void AddInstruction(uint32_t address, const std::string& text);
  void AddBlank() { lines_.push_back(Line{"", 0, false, false}); }
  void AddPlain(const std::string& text) { lines_.push_back(Line{text, 0, false, false}); }

  // Sets the ">" of the instruction line at `mark`, then inserts the
  // line-number column when the line hook is installed: its width from the
  // line of `last_byte` (or ten times the marked line's).
  void Finish(uint32_t last_byte, uint32_t mark);

  // The lines joined by CR LF. With `limit` > 0, at most `limit` lines stay
  // before the marked line (once more than limit * 12 / 10 precede it) and
  // after it, each cut shown by "[...]".
  std::string Text(uint32_t mark, int32_t limit) const;

 private:
  struct Line {
    std::string text;
    uint32_t address;
    bool has_address;
    bool instruction;
  };
  size_t MarkedLine(uint32_t mark) const;

  std::vector<Line> lines_;
};

}  // namespace qor
