#include "tools/qor_convert/dwarf_info.h"

#include <algorithm>
#include <unordered_map>

#include "tools/qor_convert/dwarf_cursor.h"
#include "tools/qor_convert/symbol_names.h"

namespace qor::convert {
namespace {

constexpr uint64_t kTagClass = 0x02, kTagStructure = 0x13, kTagUnion = 0x17, kTagInlined = 0x1D,
                   kTagSubprogram = 0x2E, kTagNamespace = 0x39;
constexpr uint64_t kAtName = 0x03, kAtStmtList = 0x10, kAtLowPc = 0x11, kAtHighPc = 0x12,
                   kAtAbstractOrigin = 0x31, kAtCompletes = 0x47, kAtRanges = 0x55,
                   kAtCallFile = 0x58, kAtCallLine = 0x59, kAtLinkageName = 0x6E,
                   kAtStrOffsetsBase = 0x72, kAtAddrBase = 0x73, kAtRnglistsBase = 0x74,
                   kAtMipsLinkageName = 0x2007;
enum Form : uint64_t {
  kAddr = 0x01, kBlock2 = 0x03, kBlock4 = 0x04, kData2 = 0x05, kData4 = 0x06, kData8 = 0x07,
  kString = 0x08, kBlock = 0x09, kBlock1 = 0x0A, kData1 = 0x0B, kFlag = 0x0C, kSdata = 0x0D,
  kStrp = 0x0E, kUdata = 0x0F, kRefAddr = 0x10, kRef1 = 0x11, kRef2 = 0x12, kRef4 = 0x13,
  kRef8 = 0x14, kRefUdata = 0x15, kIndirect = 0x16, kSecOffset = 0x17, kExprloc = 0x18,
  kFlagPresent = 0x19, kStrx = 0x1A, kAddrx = 0x1B, kRefSup4 = 0x1C, kStrpSup = 0x1D,
  kData16 = 0x1E, kLineStrp = 0x1F, kRefSig8 = 0x20, kImplicitConst = 0x21, kLoclistx = 0x22,
  kRnglistx = 0x23, kRefSup8 = 0x24, kStrx1 = 0x25, kStrx4 = 0x28, kAddrx1 = 0x29,
  kAddrx4 = 0x2C, kGnuAddrIndex = 0x1F01, kGnuStrIndex = 0x1F02, kGnuRefAlt = 0x1F20,
  kGnuStrpAlt = 0x1F21,
};
// Names are looked up through at most this many origins and completed declarations.
constexpr int kMaxNameHops = 8;

struct AttrSpec {
  uint64_t name = 0, form = 0;
  int64_t implicit = 0;
};

struct Abbrev {
  uint64_t tag = 0;
  bool children = false;
  std::vector<AttrSpec> attrs;
};

using AbbrevTable = std::unordered_map<uint64_t, Abbrev>;

// An attribute's value as this reader needs it; indexes into the string
// and address tables are resolved once the unit's bases are known.
enum class Kind { kNone, kNumber, kAddress, kAddressIndex, kText, kStrp, kLineStrp, kStrx,
                  kReference, kRangeIndex };

struct Value {
  Kind kind = Kind::kNone;
  uint64_t number = 0;
  std::string text;
  bool present() const { return kind != Kind::kNone; }
};

struct Unit {
  uint64_t offset = 0, end = 0, first_die = 0;
  uint16_t version = 0;
  uint8_t address_size = 4;
  const AbbrevTable* abbrevs = nullptr;
  uint64_t base = 0;  // the unit's low_pc: base address of its ranges
  uint64_t str_offsets_base = 8, addr_base = 8, rnglists_base = 12;
  const LineProgram* lines = nullptr;
  uint64_t children_at = 0;  // the first entry below the top one
};

struct Die {
  uint64_t tag = 0;  // 0: the null entry that ends a list of children
  bool children = false;
  Value name, linkage_name, low_pc, high_pc, ranges, origin, completes, call_file,
      call_line, stmt_list, str_offsets_base, addr_base, rnglists_base;
};

struct Name {
  std::string text;
  bool linkage = false;  // a linkage name, which tells more than a plain one
};

class InfoReader {
 public:
  InfoReader(const DwarfSections& sections, const std::vector<LineProgram>& programs)
      : s_(sections) {
    for (const LineProgram& p : programs) programs_[p.offset] = &p;
  }

  bool Run(std::vector<InlinedCall>& calls, std::string& error);

 private:
  bool ReadUnitHeader(Cursor& c, Unit& unit, std::string& error);
  const AbbrevTable* Abbrevs(uint64_t offset);
  Value ReadValue(Cursor& c, const Unit& unit, uint64_t form, int64_t implicit, bool nested = false);
  bool ReadDie(Cursor& c, const Unit& unit, Die& die);
  bool ReadUnitTop(Unit& unit);
  template <typename Context, typename Enter>
  void WalkUnit(const Unit& unit, Context root, Enter enter);
  void ReadScopes(const Unit& unit);
  void ReadCalls(const Unit& unit, std::vector<InlinedCall>& calls);
  void AddCall(const Unit& unit, const Die& die, int32_t parent, std::vector<InlinedCall>& calls);
  std::string Text(const Unit& unit, const Value& v) const;
  uint64_t Address(const Unit& unit, const Value& v) const;
  std::vector<PcRange> Ranges(const Unit& unit, const Die& die) const;
  void RangeList(const Unit& unit, uint64_t offset, std::vector<PcRange>& out) const;
  void RngList(const Unit& unit, uint64_t offset, std::vector<PcRange>& out) const;
  Name FunctionName(uint64_t die_offset, int hops);
  const Unit* UnitAt(uint64_t offset) const;

  const DwarfSections& s_;
  std::unordered_map<uint64_t, const LineProgram*> programs_;
  std::unordered_map<uint64_t, AbbrevTable> abbrevs_;
  std::vector<Unit> units_;
  std::unordered_map<uint64_t, Name> names_;
  std::unordered_map<uint64_t, std::string> scopes_;  // of function entries, by offset
};

const AbbrevTable* InfoReader::Abbrevs(uint64_t offset) {
  const auto found = abbrevs_.find(offset);
  if (found != abbrevs_.end()) return &found->second;
  AbbrevTable table;
  Cursor c{s_.abbrev};
  c.Seek(offset);
  for (uint64_t code = c.Uleb(); code != 0 && !c.failed; code = c.Uleb()) {
    Abbrev a;
    a.tag = c.Uleb();
    a.children = c.Fixed(1) != 0;
    for (;;) {
      AttrSpec spec;
      spec.name = c.Uleb();
      spec.form = c.Uleb();
      if (c.failed || (spec.name == 0 && spec.form == 0)) break;
      if (spec.form == kImplicitConst) spec.implicit = c.Sleb();
      a.attrs.push_back(spec);
    }
    table[code] = std::move(a);
  }
  if (c.failed) return nullptr;
  return &(abbrevs_[offset] = std::move(table));
}

Value InfoReader::ReadValue(Cursor& c, const Unit& unit, uint64_t form, int64_t implicit,
                            bool nested) {
  Value v;
  const auto number = [&v](uint64_t n) {
    v.kind = Kind::kNumber;
    v.number = n;
  };
  const auto as = [&v](Kind kind, uint64_t n) {
    v.kind = kind;
    v.number = n;
  };
  switch (form) {
    case kAddr: as(Kind::kAddress, c.Fixed(unit.address_size)); break;
    case kData1: case kFlag: number(c.Fixed(1)); break;
    case kData2: number(c.Fixed(2)); break;
    case kData4: number(c.Fixed(4)); break;
    case kData8: number(c.Fixed(8)); break;
    case kData16: c.Skip(16); break;
    case kSdata: number(static_cast<uint64_t>(c.Sleb())); break;
    case kUdata: number(c.Uleb()); break;
    case kImplicitConst: number(static_cast<uint64_t>(implicit)); break;
    case kFlagPresent: number(1); break;
    case kSecOffset: number(c.Fixed(4)); break;
    case kBlock1: c.Skip(c.Fixed(1)); break;
    case kBlock2: c.Skip(c.Fixed(2)); break;
    case kBlock4: c.Skip(c.Fixed(4)); break;
    case kBlock: case kExprloc: c.Skip(c.Uleb()); break;
    case kString: v.kind = Kind::kText; v.text = c.String(); break;
    case kStrp: as(Kind::kStrp, c.Fixed(4)); break;
    case kLineStrp: as(Kind::kLineStrp, c.Fixed(4)); break;
    case kStrx: case kGnuStrIndex: as(Kind::kStrx, c.Uleb()); break;
    case kAddrx: case kGnuAddrIndex: as(Kind::kAddressIndex, c.Uleb()); break;
    case kRef1: as(Kind::kReference, unit.offset + c.Fixed(1)); break;
    case kRef2: as(Kind::kReference, unit.offset + c.Fixed(2)); break;
    case kRef4: as(Kind::kReference, unit.offset + c.Fixed(4)); break;
    case kRef8: as(Kind::kReference, unit.offset + c.Fixed(8)); break;
    case kRefUdata: as(Kind::kReference, unit.offset + c.Uleb()); break;
    case kRefAddr: as(Kind::kReference, c.Fixed(unit.version <= 2 ? unit.address_size : 4)); break;
    case kRnglistx: as(Kind::kRangeIndex, c.Uleb()); break;
    case kLoclistx: c.Uleb(); break;
    // References into other files and type signatures: read, not followed.
    case kRefSup4: case kStrpSup: case kGnuRefAlt: case kGnuStrpAlt: c.Skip(4); break;
    case kRefSig8: case kRefSup8: c.Skip(8); break;
    case kIndirect:
      if (nested) {
        c.failed = true;
      } else {
        v = ReadValue(c, unit, c.Uleb(), implicit, true);
      }
      break;
    default:
      if (form >= kStrx1 && form <= kStrx4) {
        as(Kind::kStrx, c.Fixed(form - kStrx1 + 1));
      } else if (form >= kAddrx1 && form <= kAddrx4) {
        as(Kind::kAddressIndex, c.Fixed(form - kAddrx1 + 1));
      } else {
        c.failed = true;  // an unknown form: its size is unknown, so is the rest
      }
  }
  return v;
}

bool InfoReader::ReadDie(Cursor& c, const Unit& unit, Die& die) {
  const uint64_t code = c.Uleb();
  if (c.failed) return false;
  if (code == 0) {
    die.tag = 0;
    return true;
  }
  const auto found = unit.abbrevs->find(code);
  if (found == unit.abbrevs->end()) {
    c.failed = true;
    return false;
  }
  const Abbrev& a = found->second;
  die.tag = a.tag;
  die.children = a.children;
  for (const AttrSpec& spec : a.attrs) {
    Value v = ReadValue(c, unit, spec.form, spec.implicit);
    switch (spec.name) {
      case kAtName: die.name = std::move(v); break;
      case kAtLinkageName: case kAtMipsLinkageName: die.linkage_name = std::move(v); break;
      case kAtLowPc: die.low_pc = std::move(v); break;
      case kAtHighPc: die.high_pc = std::move(v); break;
      case kAtRanges: die.ranges = std::move(v); break;
      case kAtAbstractOrigin: die.origin = std::move(v); break;
      case kAtCompletes: die.completes = std::move(v); break;
      case kAtCallFile: die.call_file = std::move(v); break;
      case kAtCallLine: die.call_line = std::move(v); break;
      case kAtStmtList: die.stmt_list = std::move(v); break;
      case kAtStrOffsetsBase: die.str_offsets_base = std::move(v); break;
      case kAtAddrBase: die.addr_base = std::move(v); break;
      case kAtRnglistsBase: die.rnglists_base = std::move(v); break;
      default: break;
    }
  }
  return !c.failed;
}

std::string InfoReader::Text(const Unit& unit, const Value& v) const {
  switch (v.kind) {
    case Kind::kText: return v.text;
    case Kind::kStrp: return StringAt(s_.str, v.number);
    case Kind::kLineStrp: return StringAt(s_.line_str, v.number);
    case Kind::kStrx: {
      Cursor table{s_.str_offsets};
      table.Seek(unit.str_offsets_base + v.number * 4);
      const uint64_t offset = table.Fixed(4);
      return table.failed ? std::string() : StringAt(s_.str, offset);
    }
    default: return {};
  }
}

uint64_t InfoReader::Address(const Unit& unit, const Value& v) const {
  if (v.kind == Kind::kAddress || v.kind == Kind::kNumber) return v.number;
  if (v.kind != Kind::kAddressIndex) return 0;
  Cursor table{s_.addr};
  table.Seek(unit.addr_base + v.number * unit.address_size);
  return table.Fixed(unit.address_size);
}

// DWARF 2 to 4: pairs of offsets from the base; a pair whose first half is
// all ones sets a new base; (0, 0) ends the list.
void InfoReader::RangeList(const Unit& unit, uint64_t offset,
                           std::vector<PcRange>& out) const {
  Cursor c{s_.ranges};
  c.Seek(offset);
  const uint64_t all_ones = unit.address_size == 4 ? 0xFFFFFFFFu : ~uint64_t{0};
  uint64_t base = unit.base;
  while (!c.AtEnd()) {
    const uint64_t begin = c.Fixed(unit.address_size), end = c.Fixed(unit.address_size);
    if (c.failed || (begin == 0 && end == 0)) return;
    if (begin == all_ones) {
      base = end;
    } else if (end > begin) {
      out.push_back({static_cast<uint32_t>(base + begin), static_cast<uint32_t>(base + end)});
    }
  }
}

// DWARF 5: typed entries.
void InfoReader::RngList(const Unit& unit, uint64_t offset, std::vector<PcRange>& out) const {
  Cursor c{s_.rnglists};
  c.Seek(offset);
  uint64_t base = unit.base;
  const auto indexed = [&](uint64_t index) { return Address(unit, {Kind::kAddressIndex, index, {}}); };
  const auto add = [&out](uint64_t begin, uint64_t end) {
    if (end > begin) out.push_back({static_cast<uint32_t>(begin), static_cast<uint32_t>(end)});
  };
  while (!c.AtEnd()) {
    switch (c.Fixed(1)) {
      case 0: return;  // end of list
      case 1: base = indexed(c.Uleb()); break;
      case 2: { const uint64_t b = indexed(c.Uleb()); add(b, indexed(c.Uleb())); break; }
      case 3: { const uint64_t b = indexed(c.Uleb()); add(b, b + c.Uleb()); break; }
      case 4: { const uint64_t b = base + c.Uleb(); add(b, base + c.Uleb()); break; }
      case 5: base = c.Fixed(unit.address_size); break;
      case 6: { const uint64_t b = c.Fixed(unit.address_size); add(b, c.Fixed(unit.address_size)); break; }
      case 7: { const uint64_t b = c.Fixed(unit.address_size); add(b, b + c.Uleb()); break; }
      default: return;
    }
  }
}

std::vector<PcRange> InfoReader::Ranges(const Unit& unit, const Die& die) const {
  std::vector<PcRange> out;
  if (die.ranges.present()) {
    if (die.ranges.kind == Kind::kRangeIndex) {
      Cursor table{s_.rnglists};
      table.Seek(unit.rnglists_base + die.ranges.number * 4);
      const uint64_t offset = table.Fixed(4);
      if (!table.failed) RngList(unit, unit.rnglists_base + offset, out);
    } else if (unit.version >= 5) {
      RngList(unit, die.ranges.number, out);
    } else {
      RangeList(unit, die.ranges.number, out);
    }
  } else if (die.low_pc.present() && die.high_pc.present()) {
    const uint64_t low = Address(unit, die.low_pc);
    const bool absolute = die.high_pc.kind == Kind::kAddress || die.high_pc.kind == Kind::kAddressIndex;
    const uint64_t high = absolute ? Address(unit, die.high_pc) : low + die.high_pc.number;
    if (high > low) out.push_back({static_cast<uint32_t>(low), static_cast<uint32_t>(high)});
  }
  return out;
}

const Unit* InfoReader::UnitAt(uint64_t offset) const {
  const auto it = std::upper_bound(units_.begin(), units_.end(), offset,
                                   [](uint64_t at, const Unit& u) { return at < u.offset; });
  if (it == units_.begin()) return nullptr;
  const Unit& unit = *(it - 1);
  return offset >= unit.first_die && offset < unit.end ? &unit : nullptr;
}

// A linkage name anywhere along the origins and completed declarations wins over a
// plain name, as the tool chain's own readers decide.
Name InfoReader::FunctionName(uint64_t die_offset, int hops) {
  const auto known = names_.find(die_offset);
  if (known != names_.end()) return known->second;
  Name result;
  const Unit* unit = UnitAt(die_offset);
  Cursor c{s_.info};
  c.Seek(die_offset);
  Die die;
  if (unit && ReadDie(c, *unit, die) && die.tag != 0) {
    if (die.linkage_name.present()) {
      result = {ReadableSymbolName("_" + Text(*unit, die.linkage_name)), true};
    } else {
      for (const Value* next : {&die.origin, &die.completes}) {
        if (next->kind != Kind::kReference || hops >= kMaxNameHops) continue;
        const Name found = FunctionName(next->number, hops + 1);
        if (found.linkage || result.text.empty()) result = found;
        if (result.linkage) break;
      }
      if (!result.linkage && die.name.present()) {
        const auto scope = scopes_.find(die_offset);
        const std::string name = Text(*unit, die.name);
        result = {scope == scopes_.end() ? name : scope->second + "." + name, false};
      }
    }
  }
  names_[die_offset] = result;
  return result;
}

void InfoReader::AddCall(const Unit& unit, const Die& die, int32_t parent,
                         std::vector<InlinedCall>& calls) {
  InlinedCall call;
  call.ranges = Ranges(unit, die);
  if (die.origin.kind == Kind::kReference) call.function = FunctionName(die.origin.number, 0).text;
  if (unit.lines && die.call_file.present()) call.call_file = unit.lines->FileName(die.call_file.number);
  call.call_line = static_cast<uint32_t>(die.call_line.number);
  call.parent = parent;
  call.depth = parent < 0 ? 1 : calls[static_cast<size_t>(parent)].depth + 1;
  calls.push_back(std::move(call));
}

bool InfoReader::ReadUnitHeader(Cursor& c, Unit& unit, std::string& error) {
  unit.offset = c.at;
  const uint64_t length = c.Fixed(4);
  if (length >= 0xFFFFFFF0u || !c.Has(length)) {
    error = "info unit at offset " + std::to_string(unit.offset) + " is truncated or 64-bit";
    return false;
  }
  unit.end = c.at + length;
  unit.version = static_cast<uint16_t>(c.Fixed(2));
  uint64_t abbrev_offset = 0;
  if (unit.version >= 5) {
    const uint64_t type = c.Fixed(1);
    unit.address_size = static_cast<uint8_t>(c.Fixed(1));
    abbrev_offset = c.Fixed(4);
    if (type == 2 || type == 6) c.Skip(12);  // type signature and offset
    if (type == 4 || type == 5) c.Skip(8);   // unit id
  } else {
    abbrev_offset = c.Fixed(4);
    unit.address_size = static_cast<uint8_t>(c.Fixed(1));
  }
  unit.first_die = c.at;
  unit.abbrevs = Abbrevs(abbrev_offset);
  if (c.failed || unit.version < 2 || unit.version > 5 || unit.address_size != 4 ||
      !unit.abbrevs || unit.first_die > unit.end) {
    error = "info unit at offset " + std::to_string(unit.offset) + " has a damaged header";
    return false;
  }
  return true;
}

// Reads the unit's top entry: the bases of its tables and its line
// program. False when the unit has no entries below it.
bool InfoReader::ReadUnitTop(Unit& unit) {
  Cursor c{s_.info.subspan(0, static_cast<size_t>(unit.end))};
  c.Seek(unit.first_die);
  Die top;
  if (!ReadDie(c, unit, top) || top.tag == 0) return false;
  if (top.str_offsets_base.present()) unit.str_offsets_base = top.str_offsets_base.number;
  if (top.addr_base.present()) unit.addr_base = top.addr_base.number;
  if (top.rnglists_base.present()) unit.rnglists_base = top.rnglists_base.number;
  if (top.low_pc.present()) unit.base = Address(unit, top.low_pc);
  if (top.stmt_list.present()) {
    const auto found = programs_.find(top.stmt_list.number);
    if (found != programs_.end()) unit.lines = found->second;
  }
  unit.children_at = c.at;
  return top.children;
}

// Calls enter(offset, entry, outer) for every entry below the unit's top
// entry, where `outer` is what enter returned for the entry whose children
// these are (`root` for the top entry's).
template <typename Context, typename Enter>
void InfoReader::WalkUnit(const Unit& unit, Context root, Enter enter) {
  Cursor c{s_.info.subspan(0, static_cast<size_t>(unit.end))};
  c.Seek(unit.children_at);
  std::vector<Context> open{root};
  while (!open.empty() && !c.AtEnd()) {
    const uint64_t offset = c.at;
    Die die;
    if (!ReadDie(c, unit, die)) return;
    if (die.tag == 0) {
      open.pop_back();
      continue;
    }
    Context inner = enter(offset, die, open.back());
    if (die.children) open.push_back(std::move(inner));
  }
}

// The scope each function entry is declared in ("ns.Class"), for names
// that the compiler gave without a linkage name.
void InfoReader::ReadScopes(const Unit& unit) {
  WalkUnit(unit, std::string(), [&](uint64_t offset, const Die& die, const std::string& scope) {
    if (die.tag == kTagSubprogram) {
      if (!scope.empty()) scopes_[offset] = scope;
      return scope;
    }
    if (die.tag != kTagNamespace && die.tag != kTagClass && die.tag != kTagStructure &&
        die.tag != kTagUnion) {
      return scope;
    }
    std::string name = Text(unit, die.name);
    if (name.empty()) name = die.tag == kTagNamespace ? "(anonymous namespace)" : "";
    if (name.empty()) return scope;
    return scope.empty() ? name : scope + "." + name;
  });
}

// The inlined calls, each with the call that holds it (-1 inside a real
// function).
void InfoReader::ReadCalls(const Unit& unit, std::vector<InlinedCall>& calls) {
  WalkUnit(unit, int32_t{-1}, [&](uint64_t, const Die& die, int32_t holder) {
    if (die.tag == kTagSubprogram) return int32_t{-1};
    if (die.tag != kTagInlined) return holder;
    AddCall(unit, die, holder, calls);
    return static_cast<int32_t>(calls.size() - 1);
  });
}

bool InfoReader::Run(std::vector<InlinedCall>& calls, std::string& error) {
  Cursor all{s_.info};
  while (!all.AtEnd()) {
    Unit unit;
    if (!ReadUnitHeader(all, unit, error)) return false;
    all.Seek(unit.end);
    units_.push_back(unit);
  }
  std::vector<const Unit*> walked;
  for (Unit& unit : units_) {
    if (ReadUnitTop(unit)) walked.push_back(&unit);
  }
  for (const Unit* unit : walked) ReadScopes(*unit);
  for (const Unit* unit : walked) ReadCalls(*unit, calls);
  return true;
}

}  // namespace

bool ReadInlinedCalls(const DwarfSections& sections, const std::vector<LineProgram>& programs,
                      std::vector<InlinedCall>& calls, std::string& error) {
  InfoReader reader(sections, programs);
  return reader.Run(calls, error);
}

}  // namespace qor::convert
