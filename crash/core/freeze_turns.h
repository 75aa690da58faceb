// How the freeze watchdog counts its probes: ten unanswered probes in a row
// are a freeze, and a freeze that lasts is reported again after ever longer
// gaps. The miss counter is also cleared from other threads (a hold, the
// end of a request), so it is atomic; the interval is the watchdog's own.
#pragma once

#include <atomic>
#include <cstdint>

namespace qor {

// Unanswered probes in a row that make a freeze.
inline constexpr int32_t kFreezeMisses = 10;

// The time between two probes for a freeze timeout in ms: a tenth of it,
// but at least 1 ms, so that a tiny timeout cannot make the watchdog spin
// and report a freeze of a thread that had no time to answer.
uint32_t FreezeProbeInterval(int32_t timeout_ms);

// The interval after a freeze was reported: half as long again, and at
// least 1 ms longer, so that the gaps between reports of a lasting freeze
// grow whatever the interval.
uint32_t BackedOffInterval(uint32_t interval);

class FreezeTurns {
 public:
  constexpr FreezeTurns() = default;

  // Starts over for `timeout_ms` (misses 0, the normal interval).
  void Start(int32_t timeout_ms);

  uint32_t Interval() const { return interval_; }

  // One probe that was not answered in time; true when it is the tenth in
  // a row: the caller reports the freeze and then calls Reported().
  bool Missed();
  // After the report: a new count, at a longer interval.
  void Reported();
  // The probe was answered: a new count at the normal interval.
  void Answered();
  // Another thread's word that the main thread is not frozen now.
  void ClearMisses() { misses_ = 0; }

  int32_t Misses() const { return misses_; }

 private:
  std::atomic<int32_t> misses_{0};
  uint32_t normal_ = 1;
  uint32_t interval_ = 1;
};

}  // namespace qor
