// Writing TD32 debug information from tables, laid out as the tool chain's
// linker does: the "FB09" signature, a chain of subsection directories,
// names, one module per segment, one source module per code unit with
// lines, and the publics as global procedure and data symbols (or as
// public records).
#pragma once

#include <cstdint>
#include <vector>

#include "crash/debuginfo/testing/debug_tables.h"

namespace qor::test {

struct Td32Options {
  bool fb0a = false;             // the later signature "FB0A"
  bool global_symbols = true;    // else the publics subsection's records
  bool two_directories = false;  // split the directory into a chain of two
};

// Line numbers must fit 16 bits.
std::vector<uint8_t> WriteTd32(const DebugTables& tables, const Td32Options& options);

// Appends a debug directory and `data` to the loaded-image bytes `image`
// (as built by TestModule, whose sections lie at the same offsets in file
// and memory) and points the image's debug data directory at it. Loaded
// data gets an address in the image; data that is not loaded (as the
// linker leaves TD32 data) only a file offset.
void AttachDebugData(std::vector<uint8_t>& image, const std::vector<uint8_t>& data, bool loaded);

}  // namespace qor::test
