// The halving search over the sorted debug-information tables. Its step
// rule (start in the middle, halve the step rounding up, stop one probe
// after the first probe with step 1) is kept exactly, so every source of
// the tables answers the same way.
#pragma once

#include <cstdint>

namespace qor {

// Searches indices 0 .. count - 1. `probe(index)` returns 0 when the entry
// at index is the one sought, a negative value to go left, a positive one
// to go right. Returns the index found, or -1.
template <typename Probe>
int32_t HalvingSearch(int32_t count, Probe probe) {
  if (count <= 0) return -1;
  int32_t index = count / 2;
  int32_t step = (count / 2 + 2) / 2;
  bool probed_with_step_one = false;
  for (;;) {
    const int direction = probe(index);
    if (direction == 0) return index;
    if (probed_with_step_one) return -1;
    if (step <= 1) probed_with_step_one = true;
    index += direction < 0 ? -step : step;
    if (index < 0) index = 0;
    if (index > count - 1) index = count - 1;
    step = (step + 1) / 2;
  }
}

}  // namespace qor
