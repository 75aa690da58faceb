// The end of every exception handler of the program's own code: the program
// links with --wrap=__cxa_end_catch, and before the runtime disposes of the
// caught object, the hidden-exception handlers hear of it.
#include <windows.h>

#include <atomic>
#include <cstring>
#include <exception>

#include "crash/core/call_handlers.h"
#include "crash/core/except_object.h"
#include "crash/core/hidden_exceptions.h"
#include "crash/core/pipeline_hooks.h"
#include "crash/core/report_exception.h"
#include "crash/core/report_lock.h"
#include "runtime/raise.h"

extern "C" void __real___cxa_end_catch();

namespace qor {
namespace {

std::atomic<bool> hook_on{false};
thread_local bool inside_hook = false;

uint32_t CaughtObject() {
  const std::exception_ptr current = std::current_exception();
  void* object = nullptr;
  std::memcpy(&object, &current, sizeof(object));
  return ObjectAddress(object);
}

void TellHiddenHandlers() {
  if (GetCurrentThreadId() == HandlingThreadId()) return;
  // A rethrown object is not disposed of: it travels on.
  if (std::uncaught_exceptions() > 0 || !HasHandlers(kHiddenHandlers)) return;
  const uint32_t object = CaughtObject();
  if (object == LastReportedObject() || !IsPlausibleObject(object) || IsReportedObject(object)) {
    return;
  }
  const uint32_t address = runtime::LastRaise().address;
  std::string report;
  if (const auto compose = CorePipelineHooks().compose_bug_report) {
    const ReportLock lock;
    compose(false, object, address, report, 0, false, 0, 0, GetCurrentThreadId());
  }
  bool handled = false;
  bool can_continue = true;
  TScreenshot screenshot;
  CallHandlers(kHiddenHandlers, 1, 0, handled, can_continue, screenshot, report,
               GetCurrentThreadId(), address, object, false);
}

}  // namespace

void EnableHiddenExceptionHook(bool on) {
  hook_on = on;
}

}  // namespace qor

extern "C" void __wrap___cxa_end_catch() {
  if (qor::hook_on && !qor::inside_hook) {
    qor::inside_hook = true;
    try {
      qor::TellHiddenHandlers();
    } catch (...) {
    }
    qor::inside_hook = false;
  }
  __real___cxa_end_catch();
}
