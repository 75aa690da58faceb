// Exception tables as GCC writes them, built for tests: an .eh_frame
// section with one common entry and one function record, and the
// function's language-specific data with its call-site table.
#pragma once

#include <cstdint>
#include <vector>

namespace qor::test {

// One entry of the call-site table, as offsets from the function's start;
// a landing pad of 0 means exceptions there pass on.
struct CallSite {
  uint32_t start = 0;
  uint32_t length = 0;
  uint32_t pad = 0;
};

// The section as placed at `section_address`: a common entry with
// augmentation "zPLR" (pc-relative records, an absolute pointer to the
// language-specific data), a record for [function, function + size) whose
// data lies at `lsda` (0: none), and the closing zero length.
std::vector<uint8_t> EhFrameSection(uint32_t section_address, uint32_t function, uint32_t size,
                                    uint32_t lsda);

// Language-specific data whose landing pads count from the function's start.
std::vector<uint8_t> LsdaTable(const std::vector<CallSite>& sites);

}  // namespace qor::test
