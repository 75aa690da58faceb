// Switch statements in machine code: the compare, branch and table jump
// that select a case through a table of code addresses.
#pragma once

#include <cstdint>

#include "crash/disasm/disasm.h"

namespace qor {

// Recognises a switch: a compare of a register with the highest case, an
// "above" branch to the default, optionally a zero-extension of the
// compared byte register, and a jump through a table indexed by it.
class CaseTracker {
 public:
  // Feeds the next instruction; true with the table and its entry count
  // when it is the table jump that completes the pattern.
  bool Step(const Instruction& ins, uint32_t& table, uint32_t& entries);

 private:
  bool Compare(const Instruction& ins);

  int register_ = -1;  // register compared with the case count
  uint32_t count_ = 0;
  uint32_t entries_ = 0;  // set once the branch was seen
};

}  // namespace qor
