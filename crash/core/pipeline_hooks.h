// The steps of the handling pipeline that live in units built on top of the
// core's request handling: the report text, the dialog and the report
// actions. Each unit fills its hook at start-up; a step whose hook is empty
// is skipped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qor {

// The screenshot of a report: PNG bytes, empty when there is none.
using TScreenshot = std::vector<uint8_t>;

struct PipelineHooks {
  // Composes the bug report for a request into `report`; never throws.
  void (*compose_bug_report)(bool frozen, uint32_t object, uint32_t address, std::string& report,
                             uint32_t context, bool show_progress, uint32_t frame_pointer,
                             uint32_t stack_pointer, uint32_t thread_id) = nullptr;
  // Shows the exception dialog and returns when it is closed; may lower
  // `can_continue`. `thread_id` is the failing thread's, for the action
  // handlers of the dialog's buttons.
  void (*run_except_box)(bool frozen, uint32_t object, uint32_t address, uint32_t thread_id,
                         bool& can_continue, TScreenshot& screenshot,
                         std::string& report) = nullptr;
  // Appends the report to the bug-report file; true when written.
  bool (*save_report)(const std::string& report, void* owner_window, bool silent) = nullptr;
  // Sends the report and the screenshot; true when a delivery method worked.
  bool (*mail_report)(const std::string& report, const TScreenshot& screenshot, void* owner_window,
                      bool silent) = nullptr;
  // Restart or end the process; neither returns.
  void (*restart_process)() = nullptr;
  void (*close_process)() = nullptr;
  // Takes the screenshot in a mode of ScreenShotModeOf; the core fills it
  // with the screen capture.
  TScreenshot (*take_screenshot)(int mode) = nullptr;
};

PipelineHooks& CorePipelineHooks();

}  // namespace qor
