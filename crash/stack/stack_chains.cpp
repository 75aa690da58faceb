// Phase 4: between each two sure items, the chain of links with the best
// score stays valid and every other item between them goes.
#include <cstdint>
#include <vector>

#include "crash/stack/stack_phases.h"
#include "crash/stack/stack_tables.h"

namespace qor {
namespace {

constexpr int64_t kPhaseStart = 650;
constexpr int64_t kPhaseShare = 350;

constexpr int64_t Bit(int n) { return int64_t{1} << n; }

// Reaching the target item: through a known function, or through a call
// whose function is unknown.
constexpr int64_t kReachedWithFunction = Bit(62) + Bit(61) + Bit(60);
constexpr int64_t kReachedWithout = Bit(62) + Bit(60);
constexpr int64_t kNothingFound = Bit(60);

int ListTowards(int32_t from, int32_t target) { return target < from ? kCallers : kCallees; }

const TMapFile* DebugInfoOf(const TStackItem& item) {
  return item.Module >= 0 ? Tables().Modules[item.Module].DebugInfo.get() : nullptr;
}

bool HasLine(const TMapFile& map, uint32_t address) { return map.LineAt(address - 1) > 0; }

// Exponent of the bonus that one link adds: links of known and approved
// functions, and return addresses with source lines, weigh more.
int BonusExponent(const TStackItem& from, const TStackItem& other, const TStackLink& link,
                  bool strict, int64_t& score) {
  int d = 0;
  if (link.Function < 0) {
    score &= ~Bit(61);
  } else {
    d = strict || (score & Bit(61)) ? 28 : 14;
    if (Tables().Functions[link.Function].Approved) d += 14;
  }
  const TMapFile* from_map = DebugInfoOf(from);
  if (from.Module >= 0 && other.Module >= 0 && from_map) {
    const TMapFile* other_map = DebugInfoOf(other);
    if (!HasLine(*from_map, from.Address)) {
      d += 3;
    } else {
      d += other_map && HasLine(*other_map, other.Address) ? 9 : 6;
    }
  }
  return d;
}

// One item whose score is being computed: which entry of its list comes
// next, and the best score so far.
struct ScoreFrame {
  int32_t from;
  bool strict;
  size_t next = 0;
  int64_t best = kNothingFound;
};

TStackLinkList& ListOf(StackWalk& walk, int32_t from, int32_t target) {
  return walk.items[from].Links[ListTowards(from, target)];
}

// Caches the score of the frame's current entry, whose path towards the
// target scored `score`.
void Settle(StackWalk& walk, const ScoreFrame& frame, TStackLinkList& list, int64_t score) {
  TStackLink& entry = list.Entries[frame.next];
  const int d = BonusExponent(walk.items[frame.from], walk.items[entry.Other], entry, frame.strict,
                              score);
  // Every link of a chain adds its bonus, up to 2^51: a chain of some
  // thousand links would overflow, so the sum stops at the largest score.
  entry.Score = score > INT64_MAX - Bit(d) ? INT64_MAX : score + Bit(d);
}

// The best score from `start` towards `target`: each entry scores what its
// linked item scores towards the target, plus its own bonus, computed once
// and cached in the entry. Links never pass a sure item (the callees of an
// item are searched only up to the next sure one), so every link leads
// towards the target without passing it. A chain between two sure items
// can hold every candidate of a deep stack, so the items on the way are
// kept on a work list of their own instead of the thread's stack; they are
// visited in the order a recursion would visit them.
int64_t Score(StackWalk& walk, int32_t start, int32_t target, bool strict) {
  std::vector<ScoreFrame> pending{{start, strict}};
  for (;;) {
    ScoreFrame& frame = pending.back();
    TStackLinkList& list = ListOf(walk, frame.from, target);
    if (frame.next == list.Entries.size()) {
      const int64_t best = frame.best;
      pending.pop_back();
      if (pending.empty()) return best;
      ScoreFrame& caller = pending.back();
      Settle(walk, caller, ListOf(walk, caller.from, target), best);
      continue;
    }
    TStackLink& entry = list.Entries[frame.next];
    if (entry.Other < 0) {
      ++frame.next;
      continue;
    }
    if (entry.Score == 0) {
      const bool has_function = entry.Function >= 0;
      if (entry.Other != target) {
        pending.push_back({entry.Other, frame.strict && has_function});
        continue;
      }
      Settle(walk, frame, list, has_function ? kReachedWithFunction : kReachedWithout);
    }
    if (entry.Score > frame.best) {
      frame.best = entry.Score;
      list.Best = static_cast<int32_t>(frame.next);
    }
    ++frame.next;
  }
}

// Follows the chosen links from `from` towards `target`, validating the
// items on the way.
void Revalidate(StackWalk& walk, int32_t from, int32_t target) {
  const int list = ListTowards(from, target);
  while (from >= 0) {
    const TStackLinkList& links = walk.items[from].Links[list];
    if (links.Best < 0) return;
    const int32_t other = links.Entries[links.Best].Other;
    if (other < 0 || other == target) return;
    walk.items[other].Invalid = false;
    from = other;
  }
}

// Keeps the best chain between `lower` (-1: the outermost end) and `upper`.
void ChooseChain(StackWalk& walk, int32_t lower, int32_t upper) {
  if (upper - lower < 2) return;
  const int64_t down = lower < 0 ? 0 : Score(walk, lower, upper, true);
  const int64_t up = (down & Bit(62)) ? 0 : Score(walk, upper, lower, true);
  for (int32_t i = lower + 1; i < upper; ++i) walk.items[i].Invalid = true;
  if (up < down) {
    Revalidate(walk, lower, upper);
  } else {
    Revalidate(walk, upper, lower);
  }
}

}  // namespace

void RealizeOptimalLinkChains(StackWalk& walk) {
  const int32_t highest = walk.Count() - 1;
  int32_t upper = highest;
  for (int32_t i = highest - 1; i >= 0; --i) {
    if (!walk.items[i].Sure) continue;
    ChooseChain(walk, i, upper);
    walk.Progress(kPhaseStart + int64_t{highest - i} * kPhaseShare / walk.Count());
    upper = i;
  }
  ChooseChain(walk, -1, upper);
}

}  // namespace qor
