// Phase 3: each item is checked against the functions that may hold it and
// linked to the later items that its call may have led to.
#include <algorithm>
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

// Links item `from`, whose call at `code` went to `target`, to the later
// items that can be return addresses inside the callee, up to the next sure
// item.
void LinkCallees(StackWalk& walk, int32_t from, bool has_target, uint32_t code, uint32_t target,
                 bool approved) {
  int32_t callee = -1;
  if (has_target) {
    callee = RegisterFunction(walk.context, target, {}, -1, false, approved);
    if (callee < 0) return;
    // A jump of unknown target may leave the callee for any function.
    if (HasUnknownJump(callee)) LinkCallees(walk, from, false, code, 0, approved);
  } else if (HoldsCallWithoutFunction(walk.items[from])) {
    return;
  }
  for (int32_t k = from + 1; k < walk.Count(); ++k) {
    TStackItem& later = walk.items[k];
    if (later.Invalid) {
      if (later.Sure) break;
      continue;
    }
    CallSite site;
    bool located = false;
    if (callee >= 0) {
      uint32_t address = later.Address;
      located = LocateCallSite(walk.context, callee, 0, address, later.Top, site);
      if (!located) {
        if (later.Sure) break;
        continue;
      }
    }
    if (approved || !located || !ConflictsWithApproved(later, site.code)) {
      AddLink(walk, k, kCallers, {from, site.code, site.has_target, site.target, callee, 0});
      AddLink(walk, from, kCallees, {k, code, false, 0, callee, 0});
    }
    if (walk.items[k].Sure) break;
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
void LinkAnyCallBefore(StackWalk& walk, int32_t index) {
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
      LinkCallees(walk, index, code.p_target != 0 || code.pp_target != 0, start, code.target,
                  false);
    }
  }
}

void CheckItem(StackWalk& walk, int32_t index) {
  bool discarded = false;
  const int32_t chosen = ApprovedLink(walk, index, discarded);
  if (discarded) return;
  if (chosen < 0) {
    LinkAnyCallBefore(walk, index);
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
  LinkCallees(walk, index, link.HasTarget, link.CodeAddr, link.Target, true);
}

}  // namespace

void InDeepChecks(StackWalk& walk) {
  const int32_t count = walk.Count();
  for (int32_t i = walk.request.creator_address != 0 ? 1 : 0; i < count; ++i) {
    if (!walk.items[i].Invalid) CheckItem(walk, i);
    walk.Progress(kPhaseStart + int64_t{i} * kPhaseShare / count);
  }
}

}  // namespace qor
