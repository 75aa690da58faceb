// Composing the bug report of one failure (Windows only): the header of
// system and program facts, the stacks of the threads, the module list,
// the hardware list and the listing of the failing function. Composing
// never raises: a step that fails becomes text in the report and the
// composition goes on.
#pragma once

#include <cstdint>
#include <string>

namespace qor {

// What the report needs to know of the failure, as the handling thread
// resolved it from the exception object and the request.
struct BugReportInput {
  bool Frozen = false;        // the main thread stopped answering; no exception
  std::string ClassText;      // the exception's class as shown
  std::string MessageText;    // the exception's message as shown
  bool IsExternal = false;    // a processor or system exception: the address is the faulting instruction
  uint32_t ExceptAddress = 0;
  uint32_t ThreadId = 0;      // the failing thread
  uint32_t StackPointer = 0;  // of the failing thread at the failure; 0: from its context
  uint32_t FramePointer = 0;
  bool ShowProgress = false;
  uint64_t StartTime = 0;        // the process's start, UTC in 100 ns units since 1601; 0: its creation
  uint32_t WatchdogThread = 0;   // the freeze watchdog's thread, 0 when none runs
};

// The report's text, lines ended by CR LF, without a final line end. The
// calling thread is the handling thread: it never gets a block of its own.
std::string ComposeBugReportText(const BugReportInput& input);

// Called with a step's name ("GetThreadReport", "GetThreadStack",
// "GetModuleReport", "GetHardwareList", "GetCleartextDisAsm", "header") as
// the step starts, inside its guard; null (the default) calls nothing.
// Tests fail a chosen step through it.
extern void (*report_step_hook)(const char* step);

}  // namespace qor
