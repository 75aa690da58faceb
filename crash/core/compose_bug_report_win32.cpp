// The request's object is only an address: it is checked and named here,
// once, so that the report's own steps deal in texts.
#include "crash/core/compose_bug_report.h"

#include "crash/core/bug_report.h"
#include "crash/core/except_object.h"
#include "crash/core/freeze_watch.h"
#include "crash/core/process_start.h"
#include "crash/core/report_exception.h"

namespace qor {

void ComposeBugReport(bool frozen, uint32_t object, uint32_t address, std::string& report,
                      uint32_t /*context*/, bool show_progress, uint32_t frame_pointer,
                      uint32_t stack_pointer, uint32_t thread_id) {
  try {
    BugReportInput input;
    if (!frozen) {
      ResolveExceptParams(object, address);
      input.ClassText = ExceptClassText(object);
      input.MessageText = ExceptMessageText(object);
    }
    input.Frozen = frozen;
    input.ExceptAddress = address;
    input.ThreadId = thread_id;
    input.StackPointer = stack_pointer;
    input.FramePointer = frame_pointer;
    input.ShowProgress = show_progress;
    input.StartTime = ProcessStartTime();
    input.WatchdogThread = FreezeWatchThreadId();
    report = ComposeBugReportText(input);
  } catch (...) {
    // Composing guards each of its steps; what is left is an allocation
    // that failed, and then the report stays as far as it came.
  }
}

}  // namespace qor
