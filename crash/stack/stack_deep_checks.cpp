// Phase 3: each item is checked against the functions that may hold it and
// linked to the later items that its call may have led to.
#include <algorithm>
#include <unordered_map>
#include <vector>

#include "crash/disasm/disasm.h"
#include "crash/stack/stack_code.h"
#include "crash/stack/stack_phases.h"
#include "crash/stack/stack_tables.h"

namespace qor {
namespace {

constexpr uint32_t kMemCommit = 0x1000;
constexpr int64_t kPhaseStart = 25;
constexpr int64_t kPhaseShare = 625;
constexpr uint32_t kLongestCall = 7;

bool IsApproved(int32_t function) {
  return function >= 0 && Tables().Functions[function].Approved;
}

bool HasUnknownJump(int32_t function) {
  const auto& entries = Tables().Functions[function].Info.unknown_targets;
  return std::any_of(entries.begin(), entries.end(),
                     [](const UnknownTarget& e) { return !e.is_call; });
}

// Later item `later` must not already be explained by another call of an
// approved function.
bool ConflictsWithApproved(const TStackItem& later, uint32_t code) {
  const auto& entries = later.Links[kCallers].Entries;
  return std::any_of(entries.begin(), entries.end(), [code](const TStackLink& link) {
    return IsApproved(link.Function) && link.CodeAddr != code;
  });
}

bool HoldsCallWithoutFunction(const TStackItem& item) {
  const auto& entries = item.Links[kCallees].Entries;
  return std::any_of(entries.begin(), entries.end(),
                     [](const TStackLink& link) { return link.Function < 0; });
}

// Where the search for the callees of each item may look: the items at
// each address, the top items, and the first sure item after each item
// (the search never passes one). A function's return addresses are known
// from its analysis, so only the items at those addresses (and the top
// items, whose current instruction may lie anywhere in it) can lie inside
// it; on a deep stack, testing every later item instead would cost the
// square of its depth.
struct ItemIndex {
  std::unordered_map<uint32_t, std::vector<int32_t>> at_address;  // ascending
  std::vector<int32_t> tops;                                       // ascending
  std::vector<int32_t> stop;  // per item: the last item its callees' search visits
};

ItemIndex IndexItems(const StackWalk& walk) {
  ItemIndex index;
  const int32_t count = walk.Count();
  index.stop.resize(static_cast<size_t>(count));
  int32_t next_sure = count - 1;
  for (int32_t i = count - 1; i >= 0; --i) {
    index.stop[i] = next_sure;
    if (walk.items[i].Sure) next_sure = i;
  }
  for (int32_t i = 0; i < count; ++i) {
    index.at_address[walk.items[i].Address].push_back(i);
    if (walk.items[i].Top) index.tops.push_back(i);
  }
  return index;
}

void AddInRange(const std::vector<int32_t>& sorted, int32_t after, int32_t last,
                std::vector<int32_t>& into) {
  for (auto it = std::upper_bound(sorted.begin(), sorted.end(), after);
       it != sorted.end() && *it <= last; ++it) {
    into.push_back(*it);
  }
}

// The later items that the search for the callees of item `from` tests, in
// order: every one up to the stop without a function, else those that may
// lie inside it.
std::vector<int32_t> CalleeCandidates(const ItemIndex& index, int32_t from, int32_t callee) {
  std::vector<int32_t> candidates;
  const int32_t last = index.stop[from];
  if (callee < 0) {
    for (int32_t k = from + 1; k <= last; ++k) candidates.push_back(k);
    return candidates;
  }
  const TFunctionInfo& info = Tables().Functions[callee].Info;
  const auto add_at = [&](uint32_t after) {
    const auto found = index.at_address.find(after);
    if (found != index.at_address.end()) AddInRange(found->second, from, last, candidates);
  };
  for (const UnknownTarget& entry : info.unknown_targets) add_at(entry.after_addr);
  for (const FarCall& call : info.far_calls) add_at(call.after_addr);
  AddInRange(index.tops, from, last, candidates);
  std::sort(candidates.begin(), candidates.end());
  candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
  return candidates;
}

// Links item `from`, whose call at `code` went to `target`, to the later
// items that can be return addresses inside the callee, up to the next sure
// item.
void LinkCallees(StackWalk& walk, const ItemIndex& index, int32_t from, bool has_target,
                 uint32_t code, uint32_t target, bool approved) {
  int32_t callee = -1;
  if (has_target) {
    callee = RegisterFunction(walk.context, target, {}, -1, false, approved);
    if (callee < 0) return;
    // A jump of unknown target may leave the callee for any function.
    if (HasUnknownJump(callee)) LinkCallees(walk, index, from, false, code, 0, approved);
  } else if (HoldsCallWithoutFunction(walk.items[from])) {
    return;
  }
  for (const int32_t k : CalleeCandidates(index, from, callee)) {
    TStackItem& later = walk.items[k];
    if (later.Invalid) continue;
    CallSite site;
    bool located = false;
    if (callee >= 0) {
      uint32_t address = later.Address;
      located = LocateCallSite(walk.context, callee, 0, address, later.Top, site);
      if (!located) continue;
    }
    if (approved || !located || !ConflictsWithApproved(later, site.code)) {
      AddLink(walk, k, kCallers, {from, site.code, site.has_target, site.target, callee, 0});
      AddLink(walk, from, kCallees, {k, code, false, 0, callee, 0});
    }
  }
}

// The first approved function among the item's callers, or one found in
// the function table whose code holds the item. -1 with `discarded` when a
// function holds the address but no call ends there.
int32_t ApprovedLink(StackWalk& walk, int32_t index, bool& discarded) {
  const auto& entries = walk.items[index].Links[kCallers].Entries;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (IsApproved(entries[i].Function)) return static_cast<int32_t>(i);
  }
  const size_t count = Tables().Functions.size();
  for (size_t f = 0; f < count; ++f) {
    const auto function = static_cast<int32_t>(f);
    if (!IsApproved(function) || !AddressInFunctionAreas(function, walk.items[index].Address)) {
      continue;
    }
    uint32_t address = walk.items[index].Address;
    CallSite site;
    if (!LocateCallSite(walk.context, function, 0, address, walk.items[index].Top, site)) {
      DiscardItem(walk, index);
      discarded = true;
      return -1;
    }
    AddLink(walk, index, kCallers, {-1, site.code, site.has_target, site.target, function, 0});
    return static_cast<int32_t>(walk.items[index].Links[kCallers].Entries.size() - 1);
  }
  return -1;
}

// Without any function: every call instruction that ends at the address
// may be the one, each linked unapproved.
void LinkAnyCallBefore(StackWalk& walk, const ItemIndex& items, int32_t index) {
  const uint32_t address = walk.items[index].Address;
  MemoryRegion region;
  if (address <= kLongestCall || !walk.context.memory.QueryRegion(address - 1, region) ||
      region.state != kMemCommit || address - 2 < region.base) {
    return;
  }
  for (uint32_t start = std::max(address - kLongestCall, region.base); start <= address - 2;
       ++start) {
    CodeInfo code;
    if (DecodeCode(walk.context.memory, start, code) && code.call && code.next == address) {
      LinkCallees(walk, items, index, code.p_target != 0 || code.pp_target != 0, start,
                  code.target, false);
    }
  }
}

void CheckItem(StackWalk& walk, const ItemIndex& items, int32_t index) {
  bool discarded = false;
  const int32_t chosen = ApprovedLink(walk, index, discarded);
  if (discarded) return;
  if (chosen < 0) {
    LinkAnyCallBefore(walk, items, index);
    return;
  }
  const TStackLink link = walk.items[index].Links[kCallers].Entries[chosen];
  std::vector<int32_t> others;
  for (const TStackLink& entry : walk.items[index].Links[kCallers].Entries) {
    if (entry.Function >= 0 && entry.Function != link.Function && entry.CodeAddr != link.CodeAddr) {
      others.push_back(entry.Function);
    }
  }
  for (const int32_t function : others) RejectFunction(walk, function);
  LinkCallees(walk, items, index, link.HasTarget, link.CodeAddr, link.Target, true);
}

}  // namespace

void InDeepChecks(StackWalk& walk) {
  const int32_t count = walk.Count();
  const ItemIndex items = IndexItems(walk);
  for (int32_t i = walk.request.creator_address != 0 ? 1 : 0; i < count; ++i) {
    if (!walk.items[i].Invalid) CheckItem(walk, items, i);
    walk.Progress(kPhaseStart + int64_t{i} * kPhaseShare / count);
  }
}

}  // namespace qor
