// The debug id of a module: the CodeView record ("RSDS", a GUID, an age and
// the debug file's name) that the linker writes into the image's debug
// directory, and its text form as crash servers and symbol stores name it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "crash/modules/memory_reader.h"

namespace qor {

inline constexpr uint32_t kDebugDirectory = 6;

struct CodeViewRecord {
  uint8_t guid[16] = {};
  uint32_t age = 0;
  std::string debug_file;      // as recorded, possibly with a path
  std::vector<uint8_t> bytes;  // the whole record as stored in the image
};

// Reads the RSDS record of the image loaded at `base` (addresses are base +
// RVA). False when the image has no debug directory, none of its entries is
// a CodeView record, or the record is not the RSDS form with a terminated
// name inside its stated size.
bool ReadCodeViewRecord(const MemoryReader& memory, uint32_t base, CodeViewRecord& record);

// Parses an RSDS record held in `bytes` (as a minidump's module list stores
// it); false as ReadCodeViewRecord fails.
bool ParseCodeViewRecord(const std::vector<uint8_t>& bytes, CodeViewRecord& record);

// The GUID's three leading fields as little-endian numbers and its last
// eight bytes, then the age, all in upper-case hexadecimal, the age without
// leading zeros: "6B1D4C7A1E2F4A3B9C8D7E6F5A4B3C2D1".
std::string DebugIdText(const CodeViewRecord& record);

// The debug file's name without the path before it (either separator).
std::string DebugFileName(const CodeViewRecord& record);

}  // namespace qor
