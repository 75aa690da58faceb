// Composing the listing: areas in address order, each as a label, table
// lines or instruction lines; then the line-number column, the mark and
// the line limit.
#include "crash/disasm/function_listing.h"

#include <algorithm>
#include <cstdio>

#include "crash/disasm/function_listing_lines.h"
#include "crash/modules/pe_exports.h"
#include "crash/modules/pe_image.h"

namespace qor {

DisassemblerHook disassembler_hook = nullptr;

namespace {

constexpr size_t kOperandColumn = 19;
constexpr size_t kLabelWidth = 31;
constexpr char kSeparator[] = "; ---------------------------------------------------------";

std::string Hex(uint32_t value, bool full) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, full ? "%08x" : "%x", value);
  return buffer;
}

std::string HeaderName(const MemoryReader& memory, uint32_t entry) {
  MemoryRegion region;
  std::string name;
  if (memory.QueryRegion(entry, region))
    name = ExportNameOfAddress(memory, region.allocation_base, entry, true);
  if (name.empty() && procedure_name_hook) name = procedure_name_hook(entry);
  return name.empty() ? "sub_" + Hex(entry, false) : "public " + name;
}

std::string Padded(std::string text, size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

// Name of a class reference: the C++ type name its type_info record holds.
std::string ClassName(const MemoryReader& memory, uint32_t reference) {
  uint32_t name_address = 0;
  char name[256] = {};
  if (!reference || !ReadU32(memory, reference + 4, name_address)) return "EUnknown";
  const uint32_t got = memory.Read(name_address, name, sizeof name - 1);
  const std::string text(name, std::find(name, name + got, '\0'));
  return text.empty() || text.size() == got ? "EUnknown" : text;
}

class Composer {
 public:
  Composer(const MemoryReader& memory, const SpecialRoutines& routines,
           const TFunctionInfo& info, bool labels, const TextContext* context)
      : memory_(memory), routines_(routines), info_(info), labels_(labels), context_(context),
        header_(HeaderName(memory, info.entry_point)) {}

  // False when the areas overlap, so no address order exists.
  bool Compose(ListingLines& out);

 private:
  void Label(const CodeArea& area, ListingLines& out) const;
  void CaseTable(const CodeArea& area, ListingLines& out) const;
  void HandlerTable(const CodeArea& area, ListingLines& out) const;
  void Code(const CodeArea& area, bool last_area, ListingLines& out) const;
  std::string OwnTarget(uint32_t target) const;
  bool IsExceptionRoutine(uint32_t target) const {
    return target && (target == routines_.except_routine ||
                      target == routines_.finally_routine || target == routines_.typed_handler);
  }

  const MemoryReader& memory_;
  const SpecialRoutines& routines_;
  const TFunctionInfo& info_;
  bool labels_;
  const TextContext* context_;
  std::string header_;
};

// The label a jump to `target` shows, "" when no area starts there.
std::string Composer::OwnTarget(uint32_t target) const {
  if (target == info_.entry_point) return header_;
  for (const CodeArea& area : info_.code_areas)
    if (area.begin == target && !area.case_table && !area.handler_table)
      return "loc_" + Hex(target, false);
  return "";
}

void Composer::Label(const CodeArea& area, ListingLines& out) const {
  if (area.begin == info_.entry_point) {
    out.Add(area.begin, Padded(header_ + ":", kLabelWidth) + "  ; function entry point");
  } else if (labels_ && area.called_from) {
    out.Add(area.begin, "loc_" + Hex(area.begin, false) + ":");
  }
}

void Composer::CaseTable(const CodeArea& area, ListingLines& out) const {
  for (uint32_t at = area.begin; at + 3 <= area.end; at += 4) {
    uint32_t target = 0;
    ReadU32(memory_, at, target);
    std::string line = "  dd loc_" + Hex(target, false);
    if (at == area.begin) line = Padded(line, kLabelWidth) + "  ; case jump table";
    out.Add(at, line);
  }
}

void Composer::HandlerTable(const CodeArea& area, ListingLines& out) const {
  std::vector<std::pair<std::string, uint32_t>> pairs;
  size_t width = 0;
  for (uint32_t at = area.begin + 4; at + 7 <= area.end; at += 8) {
    uint32_t reference = 0, handler = 0;
    ReadU32(memory_, at, reference);
    ReadU32(memory_, at + 4, handler);
    pairs.emplace_back(reference ? "on " + ClassName(memory_, reference) + " do" : "else",
                       handler);
    width = std::max(width, pairs.back().first.size());
  }
  for (size_t i = 0; i < pairs.size(); ++i)
    out.Add(area.begin + 4 + 8 * static_cast<uint32_t>(i),
            "  " + Padded(pairs[i].first, width) + " loc_" + Hex(pairs[i].second, false));
}

void Composer::Code(const CodeArea& area, bool last_area, ListingLines& out) const {
  RegisterSlots slots = area.slots;
  for (uint32_t address = area.begin; address <= area.end;) {
    CodeInfo code;
    std::string text = InstructionText(memory_, address, &slots, code, context_);
    const std::string own = (code.call || code.jmp) ? OwnTarget(code.target) : "";
    if (!own.empty() && text.size() > kOperandColumn) text = text.substr(0, kOperandColumn) + own;
    out.AddInstruction(address, text);
    if (code.next <= address) break;
    address = code.next;
    const bool more = address <= area.end || !last_area;
    if (!labels_ || !more) continue;
    const uint16_t op = code.opcode;
    const bool ends = op == 0xC2 || op == 0xC3 || op == 0xCA || op == 0xCB || op == 0xCF ||
                      op == 0xE9 || op == 0xEA || op == 0xEB || (op == 0xFF && code.jmp);
    if (ends && !(code.jmp && IsExceptionRoutine(code.target))) {
      out.AddBlank();
      out.AddPlain(kSeparator);
      out.AddBlank();
    } else if (code.call || code.jmp) {
      out.AddBlank();
    }
  }
}

bool Composer::Compose(ListingLines& out) {
  std::vector<const CodeArea*> areas;
  for (const CodeArea& area : info_.code_areas) areas.push_back(&area);
  std::sort(areas.begin(), areas.end(),
            [](const CodeArea* a, const CodeArea* b) { return a->begin < b->begin; });
  for (size_t i = 0; i < areas.size(); ++i) {
    const CodeArea& area = *areas[i];
    if (area.end < area.begin || (i && area.begin <= areas[i - 1]->end)) return false;
    Label(area, out);
    if (area.case_table)
      CaseTable(area, out);
    else if (area.handler_table)
      HandlerTable(area, out);
    else
      Code(area, i + 1 == areas.size(), out);
  }
  return true;
}

}  // namespace

bool FunctionListing(const MemoryReader& memory, const SpecialRoutines& routines, uint32_t start,
                     std::string& text, TFunctionInfo& info, const ListingOptions& options,
                     const TextContext* context) {
  text.clear();
  if (!ParseFunction(start, memory, routines, info)) return false;
  ListingLines lines;
  Composer composer(memory, routines, info, options.labels, context);
  if (!composer.Compose(lines)) {
    text = kListingInternalError;
    return true;
  }
  lines.Finish(info.code_begin + info.code_len - 1, options.mark);
  text = lines.Text(options.mark, options.limit);
  return true;
}

}  // namespace qor
