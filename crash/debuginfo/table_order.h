// The orders of the debug-information tables and the sort that restores
// them after a reader appended entries out of place.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "crash/debuginfo/map_file.h"

namespace qor {

// Code segments first, then start ascending, then length descending.
inline bool SegmentBefore(const TMfSegment& a, const TMfSegment& b) {
  if (a.IsCode != b.IsCode) return a.IsCode > b.IsCode;
  if (a.Start != b.Start) return a.Start < b.Start;
  return a.Length > b.Length;
}

// Quicksort with the middle element as pivot, recursing into the left part
// and looping on the right one, so the depth stays small on sorted input.
template <typename T, typename Less>
void QuickSort(std::vector<T>& items, int32_t left, int32_t right, Less less) {
  while (left < right) {
    int32_t i = left;
    int32_t j = right;
    const T pivot = items[static_cast<size_t>(left + (right - left) / 2)];
    while (i <= j) {
      while (less(items[static_cast<size_t>(i)], pivot)) ++i;
      while (less(pivot, items[static_cast<size_t>(j)])) --j;
      if (i <= j) {
        std::swap(items[static_cast<size_t>(i)], items[static_cast<size_t>(j)]);
        ++i;
        --j;
      }
    }
    if (left < j) QuickSort(items, left, j, less);
    left = i;
  }
}

}  // namespace qor
