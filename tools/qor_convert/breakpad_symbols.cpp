#include "tools/qor_convert/breakpad_symbols.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <span>

namespace qor::convert {
namespace {

using Kind = CfiRegisterRule::Kind;

constexpr const char* kRegisterNames[] = {"$eax", "$ecx", "$edx", "$ebx", "$esp",
                                          "$ebp", "$esi", "$edi", "$eip"};

std::string Hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(value));
  return text;
}

std::string RegisterName(uint32_t reg, uint32_t return_register) {
  if (reg == return_register) return ".ra";
  return reg < std::size(kRegisterNames) ? kRegisterNames[reg] : std::string();
}

// DWARF operations in postfix form. `depth` counts the values on the
// stack; an operation that needs more than there are fails the step.
class PostfixExpression {
 public:
  // With `cfa_pushed` the CFA is on the stack before the first operation.
  bool Translate(std::span<const uint8_t> ops, bool cfa_pushed, std::string& text);

 private:
  bool Push(const std::string& token, int pops, int pushes);
  std::string text_;
  int depth_ = 0;
};

bool PostfixExpression::Push(const std::string& token, int pops, int pushes) {
  if (depth_ < pops) return false;
  depth_ += pushes - pops;
  text_ += (text_.empty() ? "" : " ") + token;
  return true;
}

bool PostfixExpression::Translate(std::span<const uint8_t> ops, bool cfa_pushed, std::string& text) {
  text_ = cfa_pushed ? ".cfa" : "";
  depth_ = cfa_pushed ? 1 : 0;
  size_t at = 0;
  auto uleb = [&] {
    uint64_t value = 0;
    for (int shift = 0; at < ops.size(); shift += 7) {
      const uint8_t byte = ops[at++];
      if (shift < 64) value |= uint64_t{byte & 0x7Fu} << shift;
      if (!(byte & 0x80)) break;
    }
    return value;
  };
  auto sleb = [&] {
    uint64_t value = 0;
    int shift = 0;
    uint8_t byte = 0;
    do {
      if (at >= ops.size()) break;
      byte = ops[at++];
      if (shift < 64) value |= uint64_t{byte & 0x7Fu} << shift;
      shift += 7;
    } while (byte & 0x80);
    if (shift < 64 && (byte & 0x40)) value |= ~uint64_t{0} << shift;
    return static_cast<int64_t>(value);
  };
  auto fixed = [&](size_t size, bool is_signed) -> int64_t {
    if (ops.size() - at < size) { at = ops.size() + 1; return 0; }
    uint64_t value = 0;
    for (size_t i = 0; i < size; ++i) value |= uint64_t{ops[at + i]} << (8 * i);
    at += size;
    if (is_signed && size < 8 && (value >> (8 * size - 1) & 1)) value |= ~uint64_t{0} << (8 * size);
    return static_cast<int64_t>(value);
  };
  while (at < ops.size()) {
    const uint8_t op = ops[at++];
    bool ok = true;
    if (op >= 0x70 && op <= 0x78) {
      ok = Push(std::string(kRegisterNames[op - 0x70]) + " " + std::to_string(sleb()) + " +", 0, 1);
    } else if (op >= 0x30 && op <= 0x4F) {
      ok = Push(std::to_string(op - 0x30), 0, 1);
    } else {
      switch (op) {
        case 0x06: ok = Push("^", 1, 1); break;
        case 0x23: ok = Push(std::to_string(uleb()) + " +", 1, 1); break;
        case 0x08: ok = Push(std::to_string(fixed(1, false)), 0, 1); break;
        case 0x09: ok = Push(std::to_string(fixed(1, true)), 0, 1); break;
        case 0x0A: ok = Push(std::to_string(fixed(2, false)), 0, 1); break;
        case 0x0B: ok = Push(std::to_string(fixed(2, true)), 0, 1); break;
        case 0x0C: ok = Push(std::to_string(fixed(4, false)), 0, 1); break;
        case 0x0D: ok = Push(std::to_string(fixed(4, true)), 0, 1); break;
        case 0x10: ok = Push(std::to_string(uleb()), 0, 1); break;
        case 0x11: ok = Push(std::to_string(sleb()), 0, 1); break;
        case 0x22: ok = Push("+", 2, 1); break;
        case 0x1C: ok = Push("-", 2, 1); break;
        case 0x1E: ok = Push("*", 2, 1); break;
        default: return false;
      }
    }
    if (!ok || at > ops.size()) return false;
  }
  if (depth_ != 1) return false;
  text = text_;
  return true;
}

// The expression's value, with the CFA pushed first only when the
// operations use it.
bool ExpressionText(const std::vector<uint8_t>& ops, bool cfa_available, std::string& text) {
  PostfixExpression expression;
  return expression.Translate(ops, false, text) ||
         (cfa_available && expression.Translate(ops, true, text));
}

bool RuleText(uint32_t reg, const CfiRegisterRule& rule, std::string& text) {
  const std::string self = reg < std::size(kRegisterNames) ? kRegisterNames[reg] : "";
  switch (rule.kind) {
    case Kind::kUndefined:
    case Kind::kSameValue: text = self; return !self.empty();
    case Kind::kOffset: text = ".cfa " + std::to_string(rule.offset) + " + ^"; return true;
    case Kind::kValOffset: text = ".cfa " + std::to_string(rule.offset) + " +"; return true;
    case Kind::kRegister:
      if (rule.reg >= std::size(kRegisterNames)) return false;
      text = kRegisterNames[rule.reg];
      return true;
    case Kind::kExpression:
      if (!ExpressionText(rule.expression, true, text)) return false;
      text += " ^";
      return true;
    case Kind::kValExpression: return ExpressionText(rule.expression, true, text);
  }
  return false;
}

struct FunctionSpan {
  uint32_t begin, end;
  const CompactPublic* symbol;
};

std::vector<FunctionSpan> FunctionSpans(const SymbolModule& module, const CompactTables& tables) {
  std::vector<FunctionSpan> spans;
  for (size_t i = 0; i < tables.publics.size(); ++i) {
    const uint32_t begin = module.code_base + tables.publics[i].address;
    if (!spans.empty() && spans.back().begin == begin) continue;
    if (!spans.empty()) spans.back().end = begin;
    spans.push_back({begin, module.code_end, &tables.publics[i]});
  }
  std::erase_if(spans, [](const FunctionSpan& s) { return s.end <= s.begin; });
  return spans;
}

// The unit holding `address` (relative to the code base): the last segment
// starting at or below it that still covers it; -1 when none does.
int SegmentIndex(const std::vector<CompactSegment>& segments, uint32_t address) {
  auto it = std::upper_bound(segments.begin(), segments.end(), address,
                             [](uint32_t a, const CompactSegment& s) { return a < s.start; });
  while (it != segments.begin()) {
    --it;
    if (address - it->start < it->length) return static_cast<int>(it - segments.begin());
  }
  return -1;
}

// Names numbered in order of first appearance, for FILE and INLINE_ORIGIN
// records (files: units first, then those that only inlined code comes
// from).
class NumberedNames {
 public:
  explicit NumberedNames(std::string record) : record_(std::move(record)) {}
  int Of(const std::string& name) {
    auto [it, added] = numbers_.try_emplace(name, static_cast<int>(names_.size()));
    if (added) names_.push_back(name);
    return it->second;
  }
  std::string Records() const {
    std::string out;
    for (size_t i = 0; i < names_.size(); ++i) out += record_ + " " + std::to_string(i) + " " + names_[i] + "\n";
    return out;
  }

 private:
  std::string record_;
  std::map<std::string, int> numbers_;
  std::vector<std::string> names_;
};

// A record without a name does not parse, so a nameless function gets one.
std::string OriginName(const std::string& function) { return function.empty() ? "<unnamed>" : function; }

// A stretch of one function's code with one outermost line and one chain of
// inlined functions (innermost first; empty outside inlined code).
struct Piece {
  uint32_t begin, end;
  int file;
  int32_t line;
  const std::vector<CompactInlineFrame>* chain;
};

// The inline range holding `address` (relative to the code base): its
// index, or -1 before the first one.
ptrdiff_t InlineIndex(const std::vector<CompactInlineRange>& inlines, uint32_t address) {
  auto it = std::upper_bound(inlines.begin(), inlines.end(), address,
                             [](uint32_t a, const CompactInlineRange& r) { return a < r.start; });
  return (it - inlines.begin()) - 1;
}

const std::vector<CompactInlineFrame> kNoChain;

// Cuts [begin, end) (module RVAs) where the chain of inlined functions changes.
void AddPieces(uint32_t begin, uint32_t end, int file, int32_t line, const SymbolModule& module,
               const std::vector<CompactInlineRange>& inlines, std::vector<Piece>& pieces) {
  ptrdiff_t index = InlineIndex(inlines, begin - module.code_base);
  while (begin < end) {
    const size_t next = static_cast<size_t>(index + 1);
    const uint32_t cut = next < inlines.size() ? std::min(end, module.code_base + inlines[next].start) : end;
    pieces.push_back({begin, cut, file, line, index >= 0 ? &inlines[static_cast<size_t>(index)].frames : &kNoChain});
    begin = cut;
    ++index;
  }
}

// The line records: where execution stands in the innermost function, as
// the processors expect when INLINE records name the functions around it.
// Neighbouring pieces at one place share a record.
std::string LineRecords(const std::vector<Piece>& pieces, NumberedNames& files) {
  std::string out;
  uint32_t begin = 0, end = 0;
  int file = -1;
  int32_t line = 0;
  auto flush = [&] {
    if (file >= 0) out += Hex(begin) + " " + Hex(end - begin) + " " + std::to_string(line) + " " + std::to_string(file) + "\n";
  };
  for (const Piece& p : pieces) {
    const int here_file = p.chain->empty() ? p.file : files.Of(p.chain->front().unit);
    const int32_t here_line = p.chain->empty() ? p.line : p.chain->front().line;
    if (file == here_file && line == here_line && end == p.begin) {
      end = p.end;
      continue;
    }
    flush();
    begin = p.begin, end = p.end, file = here_file, line = here_line;
  }
  flush();
  return out;
}

struct InlineRecord {
  size_t level;
  int32_t call_line;
  int call_file;
  int origin;
  uint32_t begin, end;
};

// The INLINE record that nesting `level` (0 outermost) of `p`'s chain starts:
// the call stands where the function around it does (for level 0, the
// real function's line).
InlineRecord StartRecord(const Piece& p, size_t level, NumberedNames& files, NumberedNames& origins) {
  const std::vector<CompactInlineFrame>& chain = *p.chain;
  const size_t depth = chain.size();
  const int call_file = level == 0 ? p.file : files.Of(chain[depth - level].unit);
  const int32_t call_line = level == 0 ? p.line : chain[depth - level].line;
  return {level, call_line, call_file, origins.Of(OriginName(chain[depth - 1 - level].function)), p.begin, p.end};
}

// One INLINE record per stretch of one inlined call; a call's record
// grows while the calls around it stay the same, so every record lies
// inside its parent's. Parents come before their children.
std::string InlineRecords(const std::vector<Piece>& pieces, NumberedNames& files, NumberedNames& origins) {
  std::vector<InlineRecord> records;
  std::vector<size_t> open;  // records of the calls that hold the last piece, outermost first
  for (const Piece& p : pieces) {
    const size_t depth = p.chain->size();
    size_t kept = 0;
    for (; kept < open.size() && kept < depth; ++kept) {
      const InlineRecord& r = records[open[kept]];
      const InlineRecord here = StartRecord(p, kept, files, origins);
      if (r.end != p.begin || r.origin != here.origin || r.call_file != here.call_file ||
          r.call_line != here.call_line) {
        break;
      }
    }
    open.resize(kept);
    for (size_t k : open) records[k].end = p.end;
    for (size_t level = kept; level < depth; ++level) {
      open.push_back(records.size());
      records.push_back(StartRecord(p, level, files, origins));
    }
  }
  std::string out;
  for (const InlineRecord& r : records) {
    out += "INLINE " + std::to_string(r.level) + " " + std::to_string(r.call_line) + " " +
           std::to_string(r.call_file) + " " + std::to_string(r.origin) + " " + Hex(r.begin) + " " +
           Hex(r.end - r.begin) + "\n";
  }
  return out;
}

void WriteFunctions(const SymbolModule& module, const CompactTables& tables, std::string& out) {
  std::vector<CompactSegment> segments = tables.segments;
  std::stable_sort(segments.begin(), segments.end(),
                   [](const CompactSegment& a, const CompactSegment& b) { return a.start < b.start; });
  NumberedNames files("FILE"), origins("INLINE_ORIGIN");
  for (const CompactSegment& s : segments) files.Of(s.unit_name);

  std::string functions, publics;
  auto line = tables.lines.begin();
  for (const FunctionSpan& f : FunctionSpans(module, tables)) {
    while (line != tables.lines.end() && module.code_base + line->address < f.begin) ++line;
    std::vector<Piece> pieces;
    for (; line != tables.lines.end() && module.code_base + line->address < f.end; ++line) {
      const uint32_t begin = module.code_base + line->address;
      const auto next = std::next(line);
      const int index = SegmentIndex(segments, line->address);
      if (index < 0) continue;
      // A line ends at the next one, at its function's end, or where its
      // unit's code ends (the padding after a unit has no line).
      const CompactSegment& unit = segments[static_cast<size_t>(index)];
      uint32_t end = std::min(f.end, module.code_base + unit.start + unit.length);
      if (next != tables.lines.end()) end = std::min(end, module.code_base + next->address);
      if (end <= begin) continue;
      AddPieces(begin, end, files.Of(unit.unit_name), line->line, module, tables.inlines, pieces);
    }
    if (pieces.empty()) {
      publics += "PUBLIC " + Hex(f.begin) + " 0 " + f.symbol->name + "\n";
    } else {
      // One after the other, so files are numbered in a fixed order.
      const std::string inlines = InlineRecords(pieces, files, origins);
      functions += "FUNC " + Hex(f.begin) + " " + Hex(f.end - f.begin) + " 0 " + f.symbol->name + "\n" +
                   inlines + LineRecords(pieces, files);
    }
  }
  out += files.Records() + origins.Records() + functions + publics;
}

void WriteFrames(const std::vector<CfiFunction>& frames, std::string& out) {
  for (const CfiFunction& f : frames) {
    if (f.rows.empty() || f.rows.front().address != f.begin) continue;
    std::string records;
    const CfiState* previous = nullptr;
    bool expressible = true;
    for (const CfiRow& row : f.rows) {
      const std::optional<std::string> rules = CfiRuleText(row.state, previous, f.return_register);
      if (!rules) {
        expressible = false;
        break;
      }
      if (!previous) {
        records += "STACK CFI INIT " + Hex(f.begin) + " " + Hex(f.end - f.begin) + " " + *rules + "\n";
      } else if (!rules->empty()) {
        records += "STACK CFI " + Hex(row.address) + " " + *rules + "\n";
      }
      previous = &row.state;
    }
    if (expressible) out += records;
  }
}

}  // namespace

std::optional<std::string> CfiRuleText(const CfiState& state, const CfiState* previous,
                                       uint32_t return_register) {
  std::string text;
  if (!previous || !(state.cfa == previous->cfa)) {
    std::string cfa;
    if (state.cfa.expression.empty()) {
      if (state.cfa.reg >= std::size(kRegisterNames)) return std::nullopt;
      cfa = std::string(kRegisterNames[state.cfa.reg]) + " " + std::to_string(state.cfa.offset) + " +";
    } else if (!ExpressionText(state.cfa.expression, false, cfa)) {
      return std::nullopt;
    }
    text = ".cfa: " + cfa;
  }
  for (const auto& [reg, rule] : state.registers) {
    if (previous) {
      auto before = previous->registers.find(reg);
      if (before != previous->registers.end() && before->second == rule) continue;
    }
    const std::string name = RegisterName(reg, return_register);
    // Registers beyond the eight and the return address play no part in
    // unwinding 32-bit x86 code.
    if (name.empty()) continue;
    std::string value;
    const bool no_value = rule.kind == Kind::kUndefined || rule.kind == Kind::kSameValue;
    if ((name == ".ra" && no_value) || !RuleText(reg, rule, value)) return std::nullopt;
    text += (text.empty() ? "" : " ") + name + ": " + value;
  }
  // A rule that ends (a restored register) means the caller's value is
  // back in the register: the records can only add rules, so say so.
  if (previous) {
    for (const auto& [reg, rule] : previous->registers) {
      const std::string name = RegisterName(reg, return_register);
      if (state.registers.count(reg) || name.empty() || name == ".ra") continue;
      text += (text.empty() ? "" : " ") + name + ": " + name;
    }
  }
  return text;
}

std::string SymbolStorePath(const SymbolModule& module) {
  std::string name = module.debug_file;
  if (name.size() > 4) {
    std::string extension = name.substr(name.size() - 4);
    std::transform(extension.begin(), extension.end(), extension.begin(), ::tolower);
    if (extension == ".pdb") name.resize(name.size() - 4);
  }
  return module.debug_file + "/" + module.debug_id + "/" + name + ".sym";
}

std::string WriteBreakpadSymbols(const SymbolModule& module, const CompactTables& tables,
                                 const std::vector<CfiFunction>& frames) {
  std::string out = "MODULE windows x86 " + module.debug_id + " " + module.debug_file + "\n";
  WriteFunctions(module, tables, out);
  WriteFrames(frames, out);
  return out;
}

}  // namespace qor::convert
