// Phase 1: every dword that may be a return address becomes an item.
#include <algorithm>
#include <memory>

#include "crash/disasm/disasm.h"
#include "crash/modules/pe_image.h"
#include "crash/stack/stack_code.h"
#include "crash/stack/stack_phases.h"
#include "crash/stack/stack_tables.h"

namespace qor {
namespace {

constexpr uint32_t kMemCommit = 0x1000;
constexpr size_t kInitialItems = 64;
constexpr size_t kInitialChain = 64;
constexpr int64_t kPhaseEnd = 25;
constexpr uint32_t kPreparedEntrySize = 5;

// (begin, end]: where a return address into a range can lie.
bool After(uint32_t address, uint32_t begin, uint32_t end) {
  return begin < address && address <= end;
}

// The stack slots that the saved frame pointers prove to hold return
// addresses, rising. A chain that does not rise is corrupt and ends.
void BuildFrameChain(StackWalk& walk) {
  const TraceRequest& request = walk.request;
  const uint64_t bottom = request.stack_bottom;
  const uint64_t top = request.stack_top;
  walk.chain.reserve(kInitialChain);
  uint64_t frame = request.frame_pointer;
  if (bottom < frame + 4 && frame + 4 < top) walk.chain.push_back(static_cast<uint32_t>(frame + 4));
  uint32_t next = 0;
  while (frame + 4 < top && ReadU32(walk.context.memory, static_cast<uint32_t>(frame), next)) {
    if (frame >= next) break;
    frame = next;
    if (bottom < frame + 4 && frame + 4 < top) {
      walk.chain.push_back(static_cast<uint32_t>(frame + 4));
    }
  }
  walk.chain_cursor = static_cast<int64_t>(walk.chain.size()) - 1;
}

class Collector {
 public:
  explicit Collector(StackWalk& walk)
      : walk_(walk), context_(walk.context), request_(walk.request) {}

  // Adds the item for `value` when it is worth keeping; true when the code
  // around it confirmed it. `slot` is 0 for values that do not come from
  // the stack.
  bool Collect(uint32_t slot, uint32_t value, bool top_flag, bool sure);

 private:
  // The place the item claims to be, and what explains it.
  struct Candidate {
    uint32_t value = 0;     // V: return address, or after the current instruction
    uint32_t code = 0;      // P: the byte before V, or the current instruction
    bool treat_top = false;
    int32_t module = -1;
    int32_t function = -1;
    bool has_site = false;
    CallSite site;
  };

  Candidate Start(uint32_t value, bool top, bool creator) const;
  bool IsPlausible(Candidate& c) const;
  bool Confirm(Candidate& c, bool plausible);
  bool ConfirmWithDebugInfo(Candidate& c, const TMapFile& map);
  bool Locate(Candidate& c, int32_t function);
  // A top item that nothing confirmed; true when it still counts.
  bool Unexplained(Candidate& c);
  void MoveChainCursor(uint32_t slot);
  bool MatchesChainSlot(uint32_t slot);
  void Append(const Candidate& c, bool top, bool sure, bool chain_slot);

  StackWalk& walk_;
  const StackTraceContext& context_;
  const TraceRequest& request_;
};

bool Collector::IsPlausible(Candidate& c) const {
  MemoryRegion region;
  if (!context_.memory.QueryRegion(c.code, region) || region.state != kMemCommit ||
      region.allocation_base == 0 || c.value <= 7) {
    return false;
  }
  if (!c.treat_top && !FollowsCallInstruction(context_.memory, c.value)) return false;
  c.module = RegisterModule(context_, region.allocation_base);
  if (c.module < 0) return true;  // code outside any module still counts
  const TModuleEntry& m = Tables().Modules[c.module];
  return After(c.value, m.CodeBegin, m.CodeEnd) || After(c.value, m.DataBegin, m.DataEnd);
}

bool Collector::Locate(Candidate& c, int32_t function) {
  const uint32_t before = request_.exact_address ? 0 : c.code;
  uint32_t address = c.value;
  CallSite site;
  if (!LocateCallSite(context_, function, before, address, c.treat_top, site)) return false;
  c.value = address;
  c.function = function;
  c.site = site;
  c.has_site = true;
  return true;
}

// The public that holds the code, or one of the labels inside it that the
// analysis of the public did not reach (code only jumped to, such as an
// exception handler's block).
bool Collector::ConfirmWithDebugInfo(Candidate& c, const TMapFile& map) {
  const TMfPublic item = map.PublicAt(c.code);
  if (!item.Valid) return false;
  const int32_t function = RegisterFunction(context_, item.Address, item.Name, c.module, false, true);
  if (function < 0) return false;
  if (Locate(c, function)) return true;
  const TFunctionInfo info = Tables().Functions[function].Info;
  for (const FarCall& call : info.far_calls) {
    if (call.target <= info.entry_point) continue;
    if (call.target >= info.code_begin + info.code_len) {
      const TMfPublic holder = map.PublicAt(call.target);
      if (!holder.Valid || holder.Address != item.Address) continue;
    }
    const int32_t label =
        RegisterFunction(context_, call.target, item.Name + ".@label", c.module, false, true);
    if (label >= 0 && Locate(c, label)) return true;
  }
  return false;
}

bool Collector::Confirm(Candidate& c, bool plausible) {
  if (c.module < 0) return plausible;
  const TModuleEntry& m = Tables().Modules[c.module];
  if (!After(c.value, m.CodeBegin, m.CodeEnd)) return plausible;
  const std::shared_ptr<const TMapFile> map = m.DebugInfo;
  if (map) return ConfirmWithDebugInfo(c, *map);
  if (m.Handle == context_.facts.MainModuleBase()) return plausible;
  const int32_t function = NearestExportBelow(context_, c.module, c.value);
  if (!AddressInFunctionAreas(function, c.value)) return plausible;
  return Locate(c, function);
}

bool Collector::MatchesChainSlot(uint32_t slot) {
  if (slot == 0) return false;
  return walk_.chain_cursor >= 0 && walk_.chain[walk_.chain_cursor] == slot;
}

void Collector::Append(const Candidate& c, bool top, bool sure, bool chain_slot) {
  TStackItem item;
  item.Address = c.value;
  item.Module = c.module;
  item.Sure = c.treat_top || sure || chain_slot;
  item.Top = top;
  walk_.items.push_back(std::move(item));
  if (c.has_site) {
    AddLink(walk_, walk_.Count() - 1, kCallers,
            {-1, c.site.code, c.site.has_target, c.site.target, c.function, 0});
  }
}

Collector::Candidate Collector::Start(uint32_t value, bool top, bool creator) const {
  Candidate c;
  c.value = value;
  // The thread's start address is an entry point, not a return address: it
  // is its own code address, and like the top item it needs no call before it.
  c.code = top || creator ? value : value - 1;
  c.treat_top = top || creator;
  if (top) {
    uint8_t bytes[8];
    CodeInfo code;
    if (context_.memory.ReadAll(value, bytes, sizeof bytes) &&
        DecodeCode(context_.memory, value, code)) {
      c.value = code.next;
    }
    c.has_site = true;
    c.site = {c.code, 0, false};
  }
  return c;
}

bool Collector::Unexplained(Candidate& c) {
  c.function = -1;
  c.has_site = !request_.is_exception || request_.exact_address;
  c.site = {c.code, 0, false};
  uint8_t byte;
  if (!c.has_site || !request_.is_exception || context_.memory.ReadAll(c.code, &byte, 1)) {
    return false;
  }
  // Execution went to an address that holds nothing (a call through a bad
  // pointer): a stand-in function there lets the caller's call link to it.
  c.function = RegisterFunction(context_, c.value, {}, c.module, true, true);
  return true;
}

void Collector::MoveChainCursor(uint32_t slot) {
  if (slot == 0) return;
  while (walk_.chain_cursor >= 0 && walk_.chain[walk_.chain_cursor] > slot) --walk_.chain_cursor;
}

bool Collector::Collect(uint32_t slot, uint32_t value, bool top_flag, bool sure) {
  const bool top = top_flag || (request_.is_exception && value != 0 &&
                                value == request_.current_address);
  const bool creator = walk_.items.empty() && request_.creator_address != 0;
  Candidate c = Start(value, top, creator);
  const bool plausible = IsPlausible(c);
  bool confirmed = plausible;
  if (c.treat_top || plausible) {
    MoveChainCursor(slot);
    confirmed = Confirm(c, plausible);
  }
  if (c.treat_top && !confirmed) confirmed = Unexplained(c);
  const bool chain_slot = MatchesChainSlot(slot);
  if (c.treat_top || confirmed || sure || chain_slot) Append(c, top && !creator, sure, chain_slot);
  return confirmed;
}

void CollectPrepared(StackWalk& walk, Collector& collector) {
  const std::span<const uint8_t> list = walk.request.prepared_stack;
  const auto u32 = [&list](size_t at) {
    return uint32_t{list[at]} | uint32_t{list[at + 1]} << 8 | uint32_t{list[at + 2]} << 16 |
           uint32_t{list[at + 3]} << 24;
  };
  if (list.size() < 4) return;
  // A count beyond the bytes given is not trusted: only whole entries count.
  const uint64_t count = std::min<uint64_t>(u32(0), (list.size() - 4) / kPreparedEntrySize);
  for (uint64_t i = 0; i < count; ++i) {
    const size_t at = 4 + i * kPreparedEntrySize;
    collector.Collect(0, u32(at + 1), false, list[at] == 1);
    walk.Progress(static_cast<int64_t>(i * kPhaseEnd / count));
    if (!walk.items.empty() && walk.items.back().Top) break;
  }
}

void ScanStack(StackWalk& walk, Collector& collector) {
  const int64_t bottom = walk.request.stack_bottom;
  const int64_t top = walk.request.stack_top;
  for (int64_t slot = top - 4; slot >= bottom; slot -= 4) {
    uint32_t value = 0;
    if (!ReadU32(walk.context.memory, static_cast<uint32_t>(slot), value)) continue;
    const bool confirmed = collector.Collect(static_cast<uint32_t>(slot), value, false, false);
    walk.Progress((top - slot) * kPhaseEnd / (top - bottom));
    if (walk.items.empty()) continue;
    const TStackItem& last = walk.items.back();
    if (last.Top) break;
    // The slot below a proven return address holds the saved frame pointer.
    if (confirmed && last.Sure) slot -= 4;
  }
}

}  // namespace

void CollectPossibleStackItems(StackWalk& walk) {
  const TraceRequest& request = walk.request;
  walk.items.reserve(kInitialItems);
  Collector collector(walk);
  if (request.creator_address != 0) collector.Collect(0, request.creator_address, false, false);
  if (!request.prepared_stack.empty()) {
    CollectPrepared(walk, collector);
  } else {
    if (request.frame_pointer != 0) BuildFrameChain(walk);
    ScanStack(walk, collector);
  }
  if (!request.no_current_item && (walk.items.empty() || !walk.items.back().Top)) {
    collector.Collect(0, request.current_address, true, false);
  }
  walk.items.shrink_to_fit();
}

}  // namespace qor
