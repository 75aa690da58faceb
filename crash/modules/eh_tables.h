// The exception tables of code built with GCC's table-driven unwinding:
// the call-frame records in a module's .eh_frame section and, behind a
// function's record, its language-specific data, whose call-site table
// names the landing pads where the function's catch blocks and cleanups
// begin. No path of the function's own control flow leads there: only
// the unwinder does, through these tables.
#pragma once

#include <cstdint>
#include <vector>

#include "crash/modules/memory_reader.h"

namespace qor {

struct LandingPad {
  uint32_t address = 0;    // first instruction of the landing pad
  uint32_t call_site = 0;  // first byte of the code whose exceptions land there
};

// The call-frame records of one module that name language-specific data,
// read once and sorted by the code they cover.
class EhFrameIndex {
 public:
  // Reads the records of the module loaded at `module_base`. The index is
  // empty when the module has no .eh_frame section or its records are
  // damaged from the start (records before a damaged one are kept).
  EhFrameIndex(const MemoryReader& memory, uint32_t module_base);

  // The record that covers `address` (a function's main part and its
  // separated cold part each have one), or -1.
  int32_t RecordAt(uint32_t address) const;

  // The landing pads of `record`; empty for -1 or damaged data.
  std::vector<LandingPad> LandingPads(const MemoryReader& memory, int32_t record) const;

  // The landing pads of the record that covers `address`.
  std::vector<LandingPad> LandingPadsAt(const MemoryReader& memory, uint32_t address) const;

  bool empty() const { return records_.empty(); }

 private:
  struct Record {
    uint32_t start, range, lsda;
  };
  std::vector<Record> records_;  // ascending start
};

}  // namespace qor
