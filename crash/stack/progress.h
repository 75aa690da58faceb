// Progress of long work (the stack traces of a report) in per mille of the
// whole, shown in a small window only when the work takes long: after
// 750 ms, and only while less than half is done, so that a window that
// would vanish at once never appears. The window itself belongs to the
// platform; here it is a hook, absent on the host.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace qor {

class ProgressWindow {
 public:
  virtual ~ProgressWindow() = default;
  virtual void Show() = 0;
  // `per_mille` of the remaining work done since the window appeared.
  virtual void SetValue(int64_t per_mille) = 0;
};

struct ProgressHooks {
  // Milliseconds of a free-running clock; null: no window ever appears.
  uint32_t (*tick_count)() = nullptr;
  // Creates the (hidden) window; null: no window ever appears.
  std::unique_ptr<ProgressWindow> (*create_window)() = nullptr;
};

// What a TProgress created without hooks of its own uses; the Windows
// start-up fills it.
extern ProgressHooks progress_hooks;

struct TProgressPhase {
  int64_t Base = 0;    // Total before the phase was added
  int64_t Weight = 0;
};

// One per report. Destroying it destroys the window.
struct TProgress {
  explicit TProgress(const ProgressHooks& hooks = progress_hooks);
  TProgress(const TProgress&) = delete;
  TProgress& operator=(const TProgress&) = delete;

  // Appends a phase of `weight` after the others.
  void AddPhase(int64_t weight);
  // Moves the running phase to `per_mille` of its weight (clamped to
  // 0..1000); shows or creates the window as the rule above says. Nothing
  // happens once every phase is finished.
  void SetPosition(int64_t per_mille);
  // Completes the running phase and starts the next.
  void FinishPhase();

  ProgressHooks Hooks;
  std::unique_ptr<ProgressWindow> Window;
  uint32_t StartTick = 0;
  std::vector<TProgressPhase> Phases;
  int64_t Total = 0;
  int32_t Current = 0;
  int64_t WindowStart = 0;
};

}  // namespace qor
