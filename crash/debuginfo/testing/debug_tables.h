// Debug tables as plain values, for the writers of test files and for
// comparing what a reader made of them. Code addresses are relative to the
// module's base of code, data addresses to its base of data.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "crash/debuginfo/map_file.h"
#include "crash/modules/testing/pe_test_image.h"

namespace qor::test {

struct TableSegment {
  bool code = true;
  uint32_t start = 0;
  uint32_t length = 0;
  std::string unit;
  bool operator==(const TableSegment&) const = default;
};

struct TablePublic {
  bool code = true;
  std::string name;
  uint32_t address = 0;
  bool operator==(const TablePublic&) const = default;
};

struct TableLine {
  int32_t line = 0;
  uint32_t address = 0;  // relative to the base of code
  bool operator==(const TableLine&) const = default;
};

struct DebugTables {
  std::vector<TableSegment> segments;  // in the store's order
  std::vector<TablePublic> publics;    // code publics by address, then data publics
  std::vector<TableLine> lines;        // by address
  uint32_t entry_point = 0;            // 0: none
  bool operator==(const DebugTables&) const = default;
};

// Readable forms for test failures.
std::ostream& operator<<(std::ostream& out, const TableSegment& s);
std::ostream& operator<<(std::ostream& out, const TablePublic& p);
std::ostream& operator<<(std::ostream& out, const TableLine& l);
std::ostream& operator<<(std::ostream& out, const DebugTables& tables);

// The tables of `map` with its bases taken off again.
DebugTables TablesOf(const TMapFile& map);

// One code unit `name` of 0x100 bytes with a public "Run" and a line at
// 0x10.
DebugTables SingleUnit(const std::string& name);

// `units` code units lying end to end from address 0, each `unit_size`
// bytes with `publics_per_unit` publics and a line every 8 bytes of each
// public's first 64, numbered from 1 in each unit; then one data unit with
// a public per code unit.
DebugTables SampleTables(uint32_t units, uint32_t publics_per_unit, uint32_t unit_size = 0x400);

// Little-endian fields of a test file (Put32 comes with the PE test
// images).
void Put16(std::vector<uint8_t>& out, size_t at, uint16_t value);
void Append16(std::vector<uint8_t>& out, uint16_t value);
void Append32(std::vector<uint8_t>& out, uint32_t value);

}  // namespace qor::test
