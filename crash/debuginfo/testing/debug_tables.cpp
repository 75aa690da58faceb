#include "crash/debuginfo/testing/debug_tables.h"

namespace qor::test {

std::ostream& operator<<(std::ostream& out, const TableSegment& s) {
  return out << (s.code ? "code " : "data ") << std::hex << s.start << "+" << s.length << std::dec
             << " " << s.unit;
}

std::ostream& operator<<(std::ostream& out, const TablePublic& p) {
  return out << (p.code ? "code " : "data ") << std::hex << p.address << std::dec << " " << p.name;
}

std::ostream& operator<<(std::ostream& out, const TableLine& l) {
  return out << std::hex << l.address << std::dec << " line " << l.line;
}

std::ostream& operator<<(std::ostream& out, const DebugTables& tables) {
  out << "\n  segments:";
  for (const TableSegment& s : tables.segments) out << "\n    " << s;
  out << "\n  publics:";
  for (const TablePublic& p : tables.publics) out << "\n    " << p;
  out << "\n  lines:";
  for (const TableLine& l : tables.lines) out << "\n    " << l;
  return out << "\n  entry point: " << std::hex << tables.entry_point << std::dec << "\n";
}

DebugTables TablesOf(const TMapFile& map) {
  DebugTables tables;
  for (const TMfSegment& s : map.Segments) {
    tables.segments.push_back({s.IsCode != 0,
                               s.Start - (s.IsCode ? map.BaseOfCode : map.BaseOfData), s.Length,
                               s.UnitName});
  }
  for (const TMfPublic& p : map.Publics) {
    tables.publics.push_back(
        {p.IsCode != 0, p.Name, p.Address - (p.IsCode ? map.BaseOfCode : map.BaseOfData)});
  }
  for (const TMfLine& l : map.Lines) tables.lines.push_back({l.Line, l.Address - map.BaseOfCode});
  if (map.EntryPoint != 0) tables.entry_point = map.EntryPoint - map.BaseOfCode;
  return tables;
}

DebugTables SingleUnit(const std::string& name) {
  DebugTables tables;
  tables.segments = {{true, 0, 0x100, name}};
  tables.publics = {{true, "Run", 0x10}};
  tables.lines = {{12, 0x10}};
  return tables;
}

DebugTables SampleTables(uint32_t units, uint32_t publics_per_unit, uint32_t unit_size) {
  DebugTables tables;
  const uint32_t public_size = unit_size / publics_per_unit;
  for (uint32_t u = 0; u < units; ++u) {
    const std::string unit = "Unit" + std::to_string(u);
    int32_t line = 1;  // each unit's own source file
    tables.segments.push_back({true, u * unit_size, unit_size, unit});
    for (uint32_t p = 0; p < publics_per_unit; ++p) {
      const uint32_t address = u * unit_size + p * public_size;
      tables.publics.push_back(
          {true, "TClass" + std::to_string(p) + ".Method" + std::to_string(u), address});
      for (uint32_t offset = 0; offset < 64 && offset < public_size; offset += 8) {
        tables.lines.push_back({line++, address + offset});
      }
    }
  }
  tables.segments.push_back({false, 0, units * 16, "Globals"});
  for (uint32_t u = 0; u < units; ++u) {
    tables.publics.push_back({false, "Variable" + std::to_string(u), u * 16});
  }
  tables.entry_point = public_size / 2;
  return tables;
}

void Put16(std::vector<uint8_t>& out, size_t at, uint16_t value) {
  out[at] = static_cast<uint8_t>(value);
  out[at + 1] = static_cast<uint8_t>(value >> 8);
}

void Append16(std::vector<uint8_t>& out, uint16_t value) {
  out.resize(out.size() + 2);
  Put16(out, out.size() - 2, value);
}

void Append32(std::vector<uint8_t>& out, uint32_t value) {
  Put32(out, static_cast<uint32_t>(out.size()), value);
}

}  // namespace qor::test
