#include "gui/timer.h"

#include "gui/form.h"

namespace gui {

Timer::Timer(Form& form, UINT_PTR id, UINT interval_ms)
    : form_(form), id_(id), interval_ms_(interval_ms) {
  form.Register(*this);
}

Timer::~Timer() {
  SetEnabled(false);
  form_.Unregister(*this);
}

void Timer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  if (enabled)
    enabled_ = SetTimer(form_.Handle(), id_, interval_ms_, nullptr) != 0;
  else
    enabled_ = !KillTimer(form_.Handle(), id_);
}

}  // namespace gui
