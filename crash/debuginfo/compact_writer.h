// Writing the compact debug-information format: the converter's output and
// the test data of the reader's tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qor {

// Addresses are relative to the module's base of code.
struct CompactSegment {
  uint32_t start = 0;
  uint32_t length = 0;
  std::string unit_name;  // at most 255 bytes are kept
  bool has_lines = false;  // written in minimal mode only
};

struct CompactPublic {
  std::string name;  // at most 255 bytes are kept
  uint32_t address = 0;
};

struct CompactLine {
  int32_t line = 0;
  uint32_t address = 0;
};

struct CompactTables {
  std::vector<CompactSegment> segments;
  std::vector<CompactPublic> publics;  // ascending addresses
  std::vector<CompactLine> lines;      // ascending addresses
  std::optional<uint32_t> entry_point;
};

struct CompactOptions {
  uint32_t version = 3;  // 2 or 3
  uint32_t key_a = 0;    // version 3 only
  uint32_t key_b = 0;
  bool minimal = false;  // version 3 only: placeholder names, HasLines bytes
};

// The unenciphered, unpacked payload: the three sections and the trailer.
std::vector<uint8_t> EncodeCompactPayload(const CompactTables& tables, bool minimal);

// The framed, packed and enciphered form. Empty when packing fails.
std::vector<uint8_t> WriteCompact(const CompactTables& tables, const CompactOptions& options);

}  // namespace qor
