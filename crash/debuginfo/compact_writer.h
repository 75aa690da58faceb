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

struct CompactInlineFrame {
  std::string function;  // at most 255 bytes are kept
  std::string unit;      // at most 255 bytes are kept
  int32_t line = 0;
};

// From `start` up to the next range's start: the inlined functions there,
// innermost first; none where no inlined code is.
struct CompactInlineRange {
  uint32_t start = 0;
  std::vector<CompactInlineFrame> frames;
};

struct CompactTables {
  std::vector<CompactSegment> segments;
  std::vector<CompactPublic> publics;  // ascending addresses
  std::vector<CompactLine> lines;      // ascending addresses
  std::optional<uint32_t> entry_point;
  std::vector<CompactInlineRange> inlines;  // ascending starts; written unless minimal
};

struct CompactOptions {
  uint32_t version = 3;  // 2 or 3
  uint32_t key_a = 0;    // version 3 only
  uint32_t key_b = 0;
  bool minimal = false;  // version 3 only: placeholder names, HasLines bytes
};

// The unenciphered, unpacked payload: the three sections and the trailer.
std::vector<uint8_t> EncodeCompactPayload(const CompactTables& tables, bool minimal);

// The unpacked inline-chain table: the texts, then the ranges.
std::vector<uint8_t> EncodeCompactInlines(const std::vector<CompactInlineRange>& inlines);

// The framed, packed and enciphered form, with the inline-chain table
// behind the payload when there is one and the mode is not minimal (whose
// point is to carry no names). Empty when packing fails.
std::vector<uint8_t> WriteCompact(const CompactTables& tables, const CompactOptions& options);

}  // namespace qor
