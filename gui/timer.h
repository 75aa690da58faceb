// A window timer of a form; OnTimer runs on the form's thread at every tick
// while the timer is enabled.
#pragma once

#include <windows.h>

#include <functional>

namespace gui {

class Form;

class Timer {
 public:
  Timer(Form& form, UINT_PTR id, UINT interval_ms);
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  UINT_PTR Id() const { return id_; }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);

  std::function<void()> OnTimer;

 private:
  Form& form_;
  UINT_PTR id_;
  UINT interval_ms_;
  bool enabled_ = false;
};

}  // namespace gui
