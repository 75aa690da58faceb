// Milliseconds between two readings of the system's 32-bit tick counter,
// which wraps after about 49.7 days.
#pragma once

#include <cstdint>

namespace qor {

// Time from `start` to `now`; right across one wrap of the counter.
constexpr uint32_t ElapsedTicks(uint32_t start, uint32_t now) {
  // Unsigned subtraction is modulo 2^32, which is exactly the wrap.
  return now - start;
}

// Milliseconds since the tick count `start` (Windows only).
uint32_t ElapsedSince(uint32_t start);

}  // namespace qor
