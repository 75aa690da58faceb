// The freeze watchdog: a thread of the core that probes the main thread by
// message through its message-handler window, and reports a freeze like an
// exception when ten probes in a row go unanswered (Windows only). It runs
// only when the settings' FreezeTimeout is greater than 0.
#pragma once

#include <cstdint>

namespace qor {

// Start-up, on the main thread: registers the reply routine with the main
// thread's message-handler window and starts the watchdog thread (hidden
// from reports, highest priority). Nothing when it runs already, when the
// timeout is not greater than 0 or when there is no handler window.
void StartFreezeWatch();

// Shut-down: ends the watchdog thread (at most 500 ms, then it is
// terminated), unregisters the reply routine and forgets the window.
void StopFreezeWatch();

// Calls come in pairs around a pending request: while one is held the
// watchdog stops at its next turn and misses nothing. Nothing when no
// watchdog runs or the caller is the watchdog itself.
void HoldFreezeWatch(bool hold);

// Keeps the watchdog held for its lifetime.
class FreezeWatchHold {
 public:
  FreezeWatchHold() { HoldFreezeWatch(true); }
  FreezeWatchHold(const FreezeWatchHold&) = delete;
  FreezeWatchHold& operator=(const FreezeWatchHold&) = delete;
  ~FreezeWatchHold() { HoldFreezeWatch(false); }
};

// The end of every request: the count of unanswered probes starts again.
void ResetFreezeMisses();

// The watchdog thread's id, 0 when none runs.
uint32_t FreezeWatchThreadId();

// The answer to a probe: WM_NULL with these as wParam and lParam, and the
// probe message's result.
inline constexpr uint32_t kFreezeReply = 777;

// A frozen-program dialog asks to be told when the main thread answers:
// the reply is posted to `dialog` (an HWND) as WM_NULL with wParam and
// lParam kFreezeReply. False when no watchdog runs or the probe could not
// be posted.
bool PostFreezeProbe(void* dialog);

}  // namespace qor
