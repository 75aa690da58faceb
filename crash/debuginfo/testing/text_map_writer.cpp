#include "crash/debuginfo/testing/text_map_writer.h"

#include <algorithm>
#include <cstdio>

namespace qor::test {
namespace {

std::string Format(const char* format, auto... values) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, format, values...);
  return buffer;
}

class TextMapWriter {
 public:
  TextMapWriter(const DebugTables& tables, const TextMapLayout& layout)
      : tables_(tables),
        layout_(layout),
        second_start_((layout.code_size + 0xFFF) & ~0xFFFu),
        data_segment_(layout.second_code_section ? 3 : 2),
        code_end_(std::find_if(tables.segments.begin(), tables.segments.end(),
                               [](const TableSegment& s) { return !s.code; })) {}

  std::string Write() {
    SegmentList();
    DetailedMap();
    Publics();
    LineNumbers();
    out_ += "Bound resource files\r\n\r\nProject.res\r\n\r\n";
    if (tables_.entry_point != 0) {
      out_ += "Program entry point at " + Address(true, tables_.entry_point) + "\r\n";
    }
    return out_;
  }

 private:
  // "ssss:oooooooo" of a code or data address.
  std::string Address(bool code, uint32_t address) const {
    if (!code) return Format("%04X:%08X", data_segment_, address);
    if (layout_.second_code_section && address >= second_start_) {
      return Format("0002:%08X", address - second_start_);
    }
    return Format("0001:%08X", address);
  }

  void SegmentList() {
    out_ += "\r\n Start         Length     Name                   Class\r\n";
    out_ += Format(" 0001:%08X %08XH .text                   CODE\r\n", layout_.code_address,
                   layout_.code_size);
    if (layout_.second_code_section) {
      out_ += Format(" 0002:%08X %08XH .itext                  ICODE\r\n",
                     layout_.code_address + second_start_, 0x1000u);
    }
    out_ += Format(" %04X:%08X %08XH .data                   DATA\r\n", data_segment_, 0x00500000u,
                   0x1000u);
    out_ += Format(" %04X:%08X %08XH .bss                    BSS\r\n\r\n\r\n", data_segment_ + 1,
                   0x00501000u, 0x100u);
  }

  void DetailedMap() {
    out_ += "Detailed map of segments\r\n\r\n";
    for (const TableSegment& s : tables_.segments) {
      const char* kind =
          s.code ? "C=CODE     S=.text    G=(none)" : "C=DATA     S=.data    G=DGROUP";
      std::string unit = s.unit;
      unit.resize(std::max<size_t>(unit.size(), 10), ' ');
      out_ += " " + Address(s.code, s.start) + Format(" %08X %s   M=", s.length, kind) + unit +
              " ACBP=A9\r\n";
    }
    out_ += "\r\n\r\n";
  }

  void Publics() {
    std::vector<const TablePublic*> by_name;
    for (const TablePublic& p : tables_.publics) by_name.push_back(&p);
    std::stable_sort(by_name.begin(), by_name.end(),
                     [](const TablePublic* a, const TablePublic* b) { return a->name < b->name; });
    out_ += "  Address             Publics by Name\r\n\r\n";
    for (const TablePublic* p : by_name)
      out_ += " " + Address(p->code, p->address) + "       " + p->name + "\r\n";
    out_ += "\r\n\r\n  Address             Publics by Value\r\n\r\n";
    for (const TablePublic& p : tables_.publics) {
      out_ += " " + Address(p.code, p.address) + "       " + p.name + "\r\n";
    }
    out_ += "\r\n\r\n";
  }

  // One block per run of lines in the same code unit, four pairs a line.
  void LineNumbers() {
    size_t i = 0;
    while (i < tables_.lines.size()) {
      const TableSegment* unit = UnitAt(tables_.lines[i].address);
      const std::string name = unit ? unit->unit : "(none)";
      out_ += "Line numbers for " + name + "(" + name + ") segment .text\r\n\r\n";
      int pairs = 0;
      for (; i < tables_.lines.size() && UnitAt(tables_.lines[i].address) == unit; ++i) {
        out_ += Format("%6d ", tables_.lines[i].line) + Address(true, tables_.lines[i].address);
        out_ += ++pairs % 4 == 0 ? "\r\n" : " ";
      }
      out_ += "\r\n\r\n";
    }
  }

  // Code segments come first, by start.
  const TableSegment* UnitAt(uint32_t address) const {
    auto after = std::upper_bound(tables_.segments.begin(), code_end_, address,
                                  [](uint32_t a, const TableSegment& s) { return a < s.start; });
    if (after == tables_.segments.begin()) return nullptr;
    const TableSegment& s = *(after - 1);
    return address - s.start < s.length ? &s : nullptr;
  }

  const DebugTables& tables_;
  const TextMapLayout& layout_;
  const uint32_t second_start_;
  const uint32_t data_segment_;
  const std::vector<TableSegment>::const_iterator code_end_;
  std::string out_;
};

}  // namespace

std::string WriteTextMap(const DebugTables& tables, const TextMapLayout& layout) {
  return TextMapWriter(tables, layout).Write();
}

}  // namespace qor::test
