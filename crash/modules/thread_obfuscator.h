// The value with which the 9x family hides the addresses of its per-thread
// and per-process records in thread and process ids (Windows only). The
// report core uses it to reach a thread's system record from its id.
#pragma once

#include <cstdint>

namespace qor {

struct ThreadObfuscator {
  uint32_t value = 0;        // 0 when neither candidate checks out
  bool marks_9x = false;     // the first (9x thread record) candidate held
};

// Computed on the first call, then cached.
const ThreadObfuscator& CurrentThreadObfuscator();

}  // namespace qor
