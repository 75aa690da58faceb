// The area loop of the function analysis: every path of control flow from
// the entry is followed until it returns, leaves the function or ends in a
// call that never comes back.
#include <algorithm>
#include <optional>

#include "crash/disasm/function_case_table.h"
#include "crash/disasm/function_info.h"
#include "crash/disasm/function_range.h"
#include "crash/modules/pe_exports.h"
#include "crash/modules/pe_image.h"

namespace qor {
namespace {

constexpr uint32_t kMemCommit = 0x1000;
constexpr uint32_t kSpeculationReach = 1023;

class FunctionParser {
 public:
  // `frames` (null: none) are the exception tables of the function's
  // module, whose landing pads become areas.
  FunctionParser(const MemoryReader& memory, const SpecialRoutines& routines,
                 TFunctionInfo& info, AddressRange range, const EhFrameIndex* frames)
      : memory_(memory), routines_(routines), info_(info), range_(range), frames_(frames) {}

  // Runs the area loop; false with failed_at_ set when code is invalid.
  bool Run();
  uint32_t failed_at() const { return failed_at_; }

 private:
  bool ParseAll();
  bool ParseArea(size_t index);
  bool AddLandingPads();
  bool ResolveUnknownTargets();
  bool Speculate();
  void AddArea(uint32_t start, uint32_t from, const RegisterSlots& slots);
  void HandleTarget(const CodeInfo& code, const RegisterSlots& slots);
  void AddFarCall(const CodeInfo& code, bool special);
  bool CaseTable(uint32_t table, uint32_t entries, uint32_t jump, bool table_is_area);
  void HandlerTable(uint32_t table, uint32_t call);
  void FinallyBlock(uint32_t after, uint32_t call);
  bool IsNeverReturning(uint32_t target) const;
  uint32_t AreaLimit(uint32_t begin) const;
  size_t AreaHolding(uint32_t address) const;
  bool HasAreaAt(uint32_t address) const;

  const MemoryReader& memory_;
  const SpecialRoutines& routines_;
  TFunctionInfo& info_;
  AddressRange range_;
  const EhFrameIndex* frames_;
  size_t areas_with_pads_ = 0;        // areas whose exception tables were looked at
  std::vector<int32_t> pad_records_;  // records whose landing pads were added
  uint32_t failed_at_ = 0;
};

bool FunctionParser::IsNeverReturning(uint32_t target) const {
  return target && std::find(routines_.never_return.begin(), routines_.never_return.end(),
                             target) != routines_.never_return.end();
}

// First byte of the nearest area above `begin`, or one past the module.
uint32_t FunctionParser::AreaLimit(uint32_t begin) const {
  uint64_t limit = uint64_t{range_.last} + 1;
  for (const CodeArea& area : info_.code_areas)
    if (area.begin > begin) limit = std::min<uint64_t>(limit, area.begin);
  return static_cast<uint32_t>(std::min<uint64_t>(limit, 0xFFFFFFFFu));
}

size_t FunctionParser::AreaHolding(uint32_t address) const {
  for (size_t i = 0; i < info_.code_areas.size(); ++i) {
    const CodeArea& area = info_.code_areas[i];
    if (!area.case_table && !area.handler_table && area.begin <= address && area.end >= address)
      return i;
  }
  return 0;
}

bool FunctionParser::HasAreaAt(uint32_t address) const {
  for (const CodeArea& area : info_.code_areas)
    if (area.begin == address) return true;
  return false;
}

// Merges what two paths know about the registers: only what both agree on.
void MergeSlots(RegisterSlots& into, const RegisterSlots& from) {
  for (size_t r = 0; r < into.size(); ++r)
    if (into[r] != from[r]) into[r] = 0;
}

void FunctionParser::AddArea(uint32_t start, uint32_t from, const RegisterSlots& slots) {
  for (CodeArea& area : info_.code_areas) {
    if (area.begin == start) {
      if (from && (!area.called_from || (from > area.called_from && from < start)))
        area.called_from = from;
      MergeSlots(area.slots, slots);
      return;
    }
  }
  for (size_t i = 0; i < info_.code_areas.size(); ++i) {
    CodeArea& old = info_.code_areas[i];
    if (!old.end || old.case_table || old.handler_table) continue;
    if (start > old.begin && start <= old.end) {
      // The old area ends before the start; the new one has been parsed
      // already as the old area's tail.
      CodeArea tail{start, old.end, false, false, from, slots};
      MergeSlots(tail.slots, old.slots);
      old.end = start - 1;
      info_.code_areas.push_back(tail);
      return;
    }
  }
  info_.code_areas.push_back(CodeArea{start, 0, false, false, from, slots});
}

bool FunctionParser::CaseTable(uint32_t table, uint32_t entries, uint32_t jump,
                               bool table_is_area) {
  RegisterSlots none{};
  for (uint32_t i = 0; i < entries; ++i) {
    uint32_t target;
    if (!ReadU32(memory_, table + 4 * i, target)) {
      failed_at_ = table + 4 * i;
      return false;
    }
    AddArea(target, jump, none);
  }
  if (table_is_area && entries && !HasAreaAt(table))
    info_.code_areas.push_back(CodeArea{table, table + entries * 4 - 1, true, false, 0, none});
  return true;
}

void FunctionParser::HandlerTable(uint32_t table, uint32_t call) {
  uint32_t count;
  if (!ReadU32(memory_, table, count) || count > 0xFFFF || HasAreaAt(table)) return;
  RegisterSlots none{};
  info_.code_areas.push_back(CodeArea{table, table + count * 8 + 3, false, true, 0, none});
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t handler;
    if (ReadU32(memory_, table + 8 + 8 * i, handler)) AddArea(handler, call, none);
  }
}

// After a call of the finally routine, a jump back to the protected block's
// start marks the finally block, whose address the block pushed before it.
void FunctionParser::FinallyBlock(uint32_t after, uint32_t call) {
  CodeInfo next;
  if (!DecodeCode(memory_, after, next) || !next.jmp || !next.target) return;
  const uint32_t t = next.target;
  if (t <= info_.entry_point || t >= call) return;
  uint8_t push;
  uint32_t pushed;
  if (!memory_.ReadAll(t - 5, &push, 1) || push != 0x68 || !ReadU32(memory_, t - 4, pushed))
    return;
  if (pushed > info_.entry_point) AddArea(pushed, call, RegisterSlots{});
}

void FunctionParser::AddFarCall(const CodeInfo& code, bool special) {
  FarCall call{code.call, code.this_address, code.next, code.target,
               code.rel_target, code.p_target, code.pp_target};
  uint8_t first = 0;
  if (!special && memory_.ReadAll(code.target, &first, 1) &&
      (first == 0x02 || first == 0x03 || first == 0xE9 || first == 0xEB || first == 0xFF)) {
    CodeInfo thunk;
    MemoryRegion region;
    if (DecodeCode(memory_, code.target, thunk) && thunk.jmp && thunk.target &&
        (thunk.p_target || thunk.pp_target) && memory_.QueryRegion(code.target, region) &&
        ExportNameOfAddress(memory_, region.allocation_base, code.target, false).empty())
      call.target = thunk.target;
  }
  for (const FarCall& known : info_.far_calls)
    if (known.after_addr == call.after_addr) return;
  info_.far_calls.push_back(call);
  if (call.pp_target) info_.copy.buffer_len += 4;
}

void FunctionParser::HandleTarget(const CodeInfo& code, const RegisterSlots& slots) {
  if (!code.p_target && !code.pp_target) {
    for (const UnknownTarget& u : info_.unknown_targets)
      if (u.code_addr == code.this_address) return;
    info_.unknown_targets.push_back(UnknownTarget{code.call, code.this_address, code.next});
    return;
  }
  const uint32_t t = code.target;
  const bool special = t && (t == routines_.except_routine || t == routines_.finally_routine ||
                             t == routines_.typed_handler || t == routines_.auto_exception);
  if (t && t == routines_.except_routine) AddArea(code.next, 0, slots);
  if (t && t == routines_.finally_routine) {
    AddArea(code.next, 0, slots);
    FinallyBlock(code.next, code.this_address);
  }
  if (t && t == routines_.typed_handler) HandlerTable(code.next, code.this_address);
  const bool outside = t < range_.first || t > range_.last;
  if (code.target_size == 4 && (code.call || outside || special))
    AddFarCall(code, special);
  else if (code.jmp)
    AddArea(t, code.this_address, slots);
  std::erase_if(info_.unknown_targets,
                [&](const UnknownTarget& u) { return u.code_addr == code.this_address; });
}

bool IsUnconditionalJump(const Instruction& ins) {
  const uint16_t op = ins.info.opcode;
  return op == 0xE9 || op == 0xEA || op == 0xEB || (op == 0xFF && (ins.reg == 4 || ins.reg == 5));
}

// The cell an indirect call through an absolute address reads its target
// from (an import cell, which in a file not yet loaded holds no address);
// 0 for other instructions.
uint32_t CallCell(const Instruction& ins) {
  const bool absolute = ins.info.opcode == 0xFF && ins.IsMemory() && ins.base < 0 && ins.index < 0;
  return absolute ? static_cast<uint32_t>(ins.disp) : 0;
}

bool IsReturn(uint16_t op) {
  return op == 0xC2 || op == 0xC3 || op == 0xCA || op == 0xCB || op == 0xCF;
}

// A push of the exception-chain head through the thread-information block.
bool PushesChainHead(const Instruction& ins, const RegisterSlots& slots) {
  if (ins.segment != 0x64 || ins.info.opcode != 0xFF) return false;
  const uint32_t length = ins.info.next - ins.info.this_address;
  if (ins.info.modrm >= 0x30 && ins.info.modrm <= 0x37 && length == 3 && ins.base >= 0)
    return slots[ins.base] == 0;
  return ins.info.modrm == 0x35 && length == 7 && ins.disp == 0;
}

bool FunctionParser::ParseArea(size_t index) {
  RegisterSlots slots = info_.code_areas[index].slots;
  const uint32_t begin = info_.code_areas[index].begin;
  uint32_t limit = AreaLimit(begin);
  size_t known_areas = info_.code_areas.size();
  uint32_t address = begin;
  uint32_t pushed = 0;     // handler address of a try block being set up
  CaseTracker cases;
  for (;;) {
    Instruction ins;
    const RegisterSlots before = slots;
    if (address < range_.first || address > range_.last ||
        !DecodeInstruction(memory_, address, ins, &slots) || ins.info.next > limit) {
      failed_at_ = address;
      return false;
    }
    const CodeInfo& code = ins.info;
    info_.code_areas[index].end = code.next - 1;
    if (IsReturn(code.opcode)) return true;

    if (pushed && PushesChainHead(ins, before)) AddArea(pushed, address, RegisterSlots{});
    pushed = 0;
    uint8_t following = 0;
    if (code.opcode == 0x68 && code.next - address == 5 &&
        memory_.ReadAll(code.next, &following, 1) && following == 0x64)
      pushed = ins.imm;

    uint32_t table = 0, entries = 0;
    if (cases.Step(ins, table, entries)) {
      // The table right behind the jump is part of the function; GCC puts
      // its tables among the read-only data, where only the targets count.
      const bool behind = table == code.next;
      if (behind || (table >= range_.first && table <= range_.last))
        return CaseTable(table, entries, address, behind);
    }

    if (code.call || code.jmp) {
      HandleTarget(code, slots);
      // A jump back into this area split it: go on in the part that holds
      // this instruction.
      if (info_.code_areas[index].end < address) index = AreaHolding(address);
    }
    if (info_.code_areas.size() != known_areas) {
      // A new area ahead ends this one where it starts.
      known_areas = info_.code_areas.size();
      limit = AreaLimit(info_.code_areas[index].begin);
    }
    if (IsUnconditionalJump(ins) ||
        (code.call && (IsNeverReturning(code.target) || IsNeverReturning(CallCell(ins))))) {
      return true;
    }
    if (slots != before || code.next == limit) {
      AddArea(code.next, 0, slots);
      return true;
    }
    address = code.next;
  }
}

bool FunctionParser::ParseAll() {
  for (;;) {
    size_t next = info_.code_areas.size();
    for (size_t i = 0; i < info_.code_areas.size(); ++i)
      if (!info_.code_areas[i].end) {
        next = i;
        break;
      }
    if (next == info_.code_areas.size()) return true;
    if (!ParseArea(next)) return false;
  }
}

// Decodes instructions with unknown targets again with the tracking of the
// area that holds them. True when that produced areas still to parse.
bool FunctionParser::ResolveUnknownTargets() {
  for (size_t i = info_.unknown_targets.size(); i-- > 0;) {
    if (i >= info_.unknown_targets.size()) continue;
    const UnknownTarget u = info_.unknown_targets[i];
    for (const CodeArea& area : info_.code_areas) {
      if (area.case_table || area.handler_table || u.code_addr < area.begin ||
          u.code_addr > area.end)
        continue;
      RegisterSlots slots = area.slots;
      CodeInfo code;
      if (DecodeCode(memory_, u.code_addr, code, &slots) && (code.p_target || code.pp_target))
        HandleTarget(code, slots);
      break;
    }
  }
  return std::any_of(info_.code_areas.begin(), info_.code_areas.end(),
                     [](const CodeArea& a) { return !a.end; });
}

// After a jump nobody could follow, the code right after the known areas
// is probably reached by it: parse the first hole when it is close to the
// end. True when an area was added and kept.
bool FunctionParser::Speculate() {
  uint32_t lowest = 0xFFFFFFFF, last = 0;
  for (const CodeArea& a : info_.code_areas) {
    lowest = std::min(lowest, a.begin);
    last = std::max(last, a.end);
  }
  uint32_t chain = lowest;
  for (bool moved = true; moved;) {
    moved = false;
    for (const CodeArea& a : info_.code_areas)
      if (a.begin == chain && a.end >= chain) {
        chain = a.end + 1;
        moved = true;
      }
  }
  if (chain > last || uint64_t{chain} + kSpeculationReach < last) return false;
  // Restored whole when the guess is no code: splits change older areas too.
  const TFunctionInfo saved = info_;
  AddArea(chain, 0, RegisterSlots{});
  if (ParseAll()) return true;
  info_ = saved;
  return false;
}

// Catch blocks and cleanups are code of the function that only the
// unwinder reaches, through the landing pads that the exception tables of
// each part of the function name (the main part's and, once the analysis
// reached it, the cold part's). Each pad inside the module becomes an area
// reached from the code whose exceptions land there. True when that added
// areas still to parse.
bool FunctionParser::AddLandingPads() {
  if (!frames_) return false;
  const size_t known = info_.code_areas.size();
  for (; areas_with_pads_ < known; ++areas_with_pads_) {
    const CodeArea& area = info_.code_areas[areas_with_pads_];
    if (area.case_table || area.handler_table) continue;
    const int32_t record = frames_->RecordAt(area.begin);
    if (record < 0 || std::find(pad_records_.begin(), pad_records_.end(), record) != pad_records_.end()) {
      continue;
    }
    pad_records_.push_back(record);
    for (const LandingPad& pad : frames_->LandingPads(memory_, record)) {
      if (pad.address >= range_.first && pad.address <= range_.last) {
        AddArea(pad.address, pad.call_site, RegisterSlots{});
      }
    }
  }
  return info_.code_areas.size() != known;
}

bool FunctionParser::Run() {
  for (;;) {
    if (!ParseAll()) return false;
    if (AddLandingPads()) continue;
    if (ResolveUnknownTargets()) continue;
    const bool unknown_jump =
        std::any_of(info_.unknown_targets.begin(), info_.unknown_targets.end(),
                    [](const UnknownTarget& u) { return !u.is_call; });
    if (!unknown_jump || !Speculate()) return true;
  }
}

uint32_t AreaSize(const CodeArea& a) { return a.end - a.begin + 1; }

// Whether the first six bytes are straight-line code whose calls and jumps
// can be moved elsewhere.
bool Interceptable(const MemoryReader& memory, const TFunctionInfo& info) {
  uint32_t sum = 0, chain = info.entry_point;
  for (bool moved = true; moved && sum < 6;) {
    moved = false;
    for (const CodeArea& a : info.code_areas)
      if (a.begin == chain && a.end >= chain && !a.case_table && !a.handler_table &&
          (!a.called_from || a.begin == info.entry_point)) {
        sum += AreaSize(a);
        chain = a.end + 1;
        moved = true;
        break;
      }
  }
  if (sum < 6) return false;
  for (uint32_t address = info.entry_point; address < info.entry_point + 6;) {
    CodeInfo code;
    if (!DecodeCode(memory, address, code)) return false;
    if ((code.call || code.jmp) &&
        ((!code.p_target && !code.pp_target) || (code.target_size < 4 && !code.enlargeable)))
      return false;
    address = code.next;
  }
  return true;
}

}  // namespace

bool ParseFunction(uint32_t entry, const MemoryReader& memory, const SpecialRoutines& routines,
                   TFunctionInfo& info, const EhFrameIndex* frames) {
  info = TFunctionInfo{};
  MemoryRegion region;
  if (!memory.QueryRegion(entry, region) || region.state != kMemCommit) {
    info.last_error_addr = entry;
    info.last_error_no = kInvalidParameterError;
    info.last_error_str = InvalidParameterText();
    return false;
  }
  // Exception tables that lead into no code do not spoil the analysis: it
  // is run again without them.
  const AddressRange range = ModuleRange(memory, entry, region);
  std::optional<EhFrameIndex> own_frames;
  if (!frames) frames = &own_frames.emplace(memory, region.allocation_base);
  bool parsed = false;
  uint32_t failed_at = 0;
  for (const EhFrameIndex* tables : {frames, static_cast<const EhFrameIndex*>(nullptr)}) {
    if (!tables && frames->empty()) break;
    info = TFunctionInfo{};
    info.entry_point = entry;
    info.copy.is_valid = true;
    info.code_areas.reserve(8);
    info.code_areas.push_back(CodeArea{entry, 0, false, false, 0, RegisterSlots{}});
    FunctionParser parser(memory, routines, info, range, tables);
    parsed = parser.Run();
    failed_at = parser.failed_at();
    if (parsed) break;
  }
  if (!parsed) {
    info.is_valid = false;
    info.last_error_addr = failed_at;
    info.last_error_no = kInvalidCodeError;
    info.last_error_str = "Invalid code!";
    return false;
  }
  info.is_valid = true;
  uint32_t last = 0;
  info.code_begin = 0xFFFFFFFF;
  for (const CodeArea& a : info.code_areas) {
    info.code_begin = std::min(info.code_begin, a.begin);
    last = std::max(last, a.end);
  }
  info.code_len = last - info.code_begin + 1;
  info.copy.buffer_len += info.code_len + 4;
  info.interceptable = Interceptable(memory, info);
  return true;
}

}  // namespace qor
