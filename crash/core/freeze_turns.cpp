#include "crash/core/freeze_turns.h"

#include <algorithm>

namespace qor {

uint32_t FreezeProbeInterval(int32_t timeout_ms) {
  return std::max<uint32_t>(1, static_cast<uint32_t>(std::max(timeout_ms, 0) / 10));
}

uint32_t BackedOffInterval(uint32_t interval) {
  return interval + std::max<uint32_t>(1, interval / 2);
}

void FreezeTurns::Start(int32_t timeout_ms) {
  normal_ = FreezeProbeInterval(timeout_ms);
  interval_ = normal_;
  misses_ = 0;
}

bool FreezeTurns::Missed() { return misses_.fetch_add(1) == kFreezeMisses - 1; }

void FreezeTurns::Reported() {
  misses_ = 0;
  interval_ = BackedOffInterval(interval_);
}

void FreezeTurns::Answered() {
  misses_ = 0;
  interval_ = normal_;
}

}  // namespace qor
