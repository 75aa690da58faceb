// One step of composing a report under its own guard (Windows only).
#pragma once

#include <cstdint>
#include <string>

#include "crash/core/bug_report.h"
#include "crash/core/report_sections.h"
#include "crash/modules/guarded_call.h"
#include "crash/stack/stack_trace_win32.h"
#include "runtime/raise.h"

namespace qor {

// Where a step failed: the faulting instruction, or the return address of
// the throw that the raise routine kept (0 when unknown).
struct TStepFailure {
  uint32_t Address = 0;
  bool Raised = false;
};

// Runs `body` as step `step` (null: a step the hook does not see); false
// when it raised or faulted, with `failure` set.
template <typename Body>
bool RunStep(const char* step, Body&& body, TStepFailure& failure) {
  GuardedFault fault;
  try {
    if (Guarded(
            [&] {
              if (report_step_hook && step) report_step_hook(step);
              body();
            },
            &fault)) {
      return true;
    }
    failure = {fault.address, false};
  } catch (...) {
    failure = {runtime::LastRaise().address, true};
  }
  return false;
}

// The internal-error text of `step`, with the stack line of the failure.
// A throw is located by its call: the return address after a call that
// never returns may already belong to the next source line.
inline std::string StepErrorText(const char* step, const TStepFailure& failure) {
  if (failure.Address == 0) return InternalErrorText(step, {});
  return InternalErrorText(step, FormatCodeLocation(failure.Address - (failure.Raised ? 1 : 0)));
}

}  // namespace qor
