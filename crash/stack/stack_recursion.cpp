// Phases 2 and 5: a recursion that repeats a sequence of calls keeps one
// copy, the outer one.
#include <unordered_map>
#include <vector>

#include "crash/stack/stack_phases.h"

namespace qor {
namespace {

int32_t NextValidBelow(const StackWalk& walk, int32_t index) {
  do {
    --index;
  } while (index >= 0 && walk.items[index].Invalid);
  return index;
}

// The `n` valid items below `index`, highest first.
std::vector<int32_t> ValidBelow(const StackWalk& walk, int32_t index, int32_t n) {
  std::vector<int32_t> items;
  for (int32_t k = 0; k < n; ++k) {
    index = NextValidBelow(walk, index);
    if (index < 0) break;
    items.push_back(index);
  }
  return items;
}

// The items of the repetition that ends at `start`: `start` and the items
// down to the next earlier copy of its address, when the same sequence of
// addresses stands right below that copy. Empty when there is none.
std::vector<int32_t> InnerRepetition(const StackWalk& walk, int32_t start) {
  const uint32_t address = walk.items[start].Address;
  int32_t earlier = NextValidBelow(walk, start);
  int32_t between = 0;
  while (earlier >= 0 && walk.items[earlier].Address != address) {
    ++between;
    earlier = NextValidBelow(walk, earlier);
  }
  if (earlier < 0 || earlier < between) return {};
  std::vector<int32_t> copy{start};
  int32_t upper = start;
  int32_t lower = earlier;
  for (int32_t step = 0; step < between; ++step) {
    upper = NextValidBelow(walk, upper);
    lower = NextValidBelow(walk, lower);
    if (lower < 0 || walk.items[upper].Address != walk.items[lower].Address) return {};
    copy.push_back(upper);
  }
  return copy;
}

// How many valid items stand at each address. An item alone at its
// address starts no repetition, and need not be searched for one: on a
// deep stack that search would visit every item below each item.
std::unordered_map<uint32_t, int32_t> ValidItemsAt(const StackWalk& walk) {
  std::unordered_map<uint32_t, int32_t> count;
  for (const TStackItem& item : walk.items) {
    if (!item.Invalid) ++count[item.Address];
  }
  return count;
}

// One sweep from the innermost item down; true when anything was removed.
bool Sweep(StackWalk& walk, bool discard) {
  bool changed = false;
  const auto items_at = ValidItemsAt(walk);
  for (int32_t i = walk.Count() - 1; i >= 1; --i) {
    if (walk.items[i].Invalid || items_at.at(walk.items[i].Address) < 2) continue;
    const std::vector<int32_t> copy = InnerRepetition(walk, i);
    if (copy.empty()) continue;
    // The copy that stays lies right below the one removed, as long as it.
    const auto length = static_cast<int32_t>(copy.size());
    std::vector<int32_t> kept = ValidBelow(walk, copy.back(), length);
    const int32_t low = kept.empty() ? copy.back() : kept.back();
    walk.folded.push_back({low, i, length, std::move(kept)});
    for (const int32_t index : copy) {
      walk.items[index].Sure = false;
      if (discard) {
        DiscardItem(walk, index);
      } else {
        walk.items[index].Invalid = true;
      }
      changed = true;
    }
  }
  return changed;
}

}  // namespace

void RemoveRecursiveStackAreas(StackWalk& walk) {
  while (Sweep(walk, true)) {
  }
}

void RemoveRecursiveAreas(StackWalk& walk) {
  while (Sweep(walk, false)) {
  }
}

}  // namespace qor
