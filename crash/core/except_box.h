// The exception dialog: tells the user that an error occurred (or that the
// program seems frozen), shows the report on request and offers the report
// actions and continuing, restarting or closing the program (Windows only).
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "crash/core/settings.h"

namespace qor {

struct ExceptBoxRequest {
  bool frozen = false;
  std::string exception_message;  // the exception's message text
  bool can_continue = true;
  std::span<const uint8_t> screenshot_png;
  std::string report;
  TExceptTimes times{};  // of the last requests: automatic rules, restart
  // The action handlers with an action number (0 mail to 6 close); true
  // when one of them handled the action. Null: none registered.
  bool (*fire_action)(int action) = nullptr;
  // A frozen program's dialog asks the freeze watchdog's probe to reach
  // the main thread with the dialog's handle; the main thread answers by
  // posting WM_NULL 777/777 to the dialog, which then closes. Null: no
  // watchdog runs.
  bool (*post_probe)(void* dialog) = nullptr;
};

// Shows the dialog on this thread and returns when it is gone. A console
// program with console output on gets the text on standard output instead.
void RunExceptBox(const ExceptBoxRequest& request);

// The message the dialog shows: the frozen or error message with
// "%exceptMsg%" replaced by the exception's message and `ending`, and
// "%LF%" by CR LF.
std::string ExceptBoxMessage(const ExceptBoxRequest& request, const char* ending);

}  // namespace qor
