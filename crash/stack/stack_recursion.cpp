// Phases 2 and 5: a recursion that repeats a sequence of calls keeps one
// copy, the outer one.
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

// One sweep from the innermost item down; true when anything was removed.
bool Sweep(StackWalk& walk, bool discard) {
  bool changed = false;
  for (int32_t i = walk.Count() - 1; i >= 1; --i) {
    if (walk.items[i].Invalid) continue;
    for (const int32_t index : InnerRepetition(walk, i)) {
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
