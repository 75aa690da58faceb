#include "crash/stack/progress.h"

#include <algorithm>

namespace qor {
namespace {

constexpr uint32_t kWindowDelayMs = 750;
constexpr int64_t kWindowBeforeHalf = 500;

}  // namespace

ProgressHooks progress_hooks;

TProgress::TProgress(const ProgressHooks& hooks)
    : Hooks(hooks), StartTick(hooks.tick_count ? hooks.tick_count() : 0) {}

void TProgress::AddPhase(int64_t weight) {
  Phases.push_back({Total, weight});
  Total += weight;
}

void TProgress::SetPosition(int64_t per_mille) {
  if (Current < 0 || Current >= static_cast<int32_t>(Phases.size())) return;
  const TProgressPhase& phase = Phases[Current];
  const int64_t current = phase.Base + phase.Weight * std::clamp<int64_t>(per_mille, 0, 1000) / 1000;
  // Nothing left after the window's start counts as all done, rather than
  // dividing by zero.
  const int64_t remaining = Total - WindowStart;
  int64_t value = remaining > 0 ? (current - WindowStart) * 1000 / remaining : 1000;
  if (!Window && Hooks.tick_count && Hooks.create_window &&
      Hooks.tick_count() - StartTick > kWindowDelayMs && value < kWindowBeforeHalf) {
    Window = Hooks.create_window();
    if (!Window) return;
    Window->Show();
    WindowStart = current;
    value = 0;
  }
  if (Window) Window->SetValue(value);
}

void TProgress::FinishPhase() {
  if (Current >= static_cast<int32_t>(Phases.size())) return;
  SetPosition(1000);
  ++Current;
}

}  // namespace qor
