// The core's start-up and shut-down: one object constructed before every
// other static object of the program and destroyed after all of them.
#include <windows.h>

#include "crash/attach/screenshot_win32.h"
#include "crash/attach/smtp_password.h"
#include "crash/core/call_handlers.h"
#include "crash/core/code_patch.h"
#include "crash/core/compose_bug_report.h"
#include "crash/core/freeze_watch.h"
#include "crash/core/hidden_exceptions.h"
#include "crash/core/interception.h"
#include "crash/core/loader_lock.h"
#include "crash/core/pipeline_hooks.h"
#include "crash/core/process_start.h"
#include "crash/core/report_actions.h"
#include "crash/core/report_exception.h"
#include "crash/core/report_steps.h"
#include "crash/core/settings.h"
#include "crash/core/thread_hook.h"
#include "crash/core/thread_registry.h"
#include "crash/delivery/mail_client_hooks.h"
#include "crash/disasm/debug_info_hooks.h"
#include "crash/disasm/function_listing_win32.h"
#include "crash/stack/progress_bar_win32.h"

namespace qor {
namespace {

uint64_t start_time = 0;

// Runs `step` and swallows what it throws: every shut-down step runs.
template <typename Step>
void Guard(Step step) {
  try {
    step();
  } catch (...) {
  }
}

void DecipherSmtpPassword() {
  TExceptSettings& s = ExceptSettings;
  if (s.SmtpPassword.Empty()) return;
  s.SmtpPassword.Assign(
      DecryptSmtpPassword(s.SmtpPassword.View(), s.SmtpUser.View(), s.SmtpServer.View()));
}

void FillLowerHooks() {
  InstallDebugInfoHooks();
  InstallFunctionListing();
  InstallProgressWindow();
  MailClientHooks& mail = DeliveryMailClientHooks();
  mail.loader_lock_held = CurrentThreadOwnsLoaderLock;
  mail.release_main_thread = [] {
    return ExceptSettings.PauseRunningThreads && ReleaseMainThread();
  };
  mail.hold_main_thread = HoldMainThread;
  CorePipelineHooks().take_screenshot = CaptureScreenPng;
  CorePipelineHooks().compose_bug_report = ComposeBugReport;
  InstallReportSteps();
}

class CoreLifetime {
 public:
  CoreLifetime() {
    // A restarted program waits here until its predecessor has ended and
    // takes over its request times, so the automatic rules count on.
    CheckRestartHandOver(ExceptTimes);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    start_time = (uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
    const TExceptSettings& s = ExceptSettings;
    active_ = (s.HandleExceptions && s.InstallHooks) || s.FreezeTimeout > 0;
    // Everything off: nothing is created, not even the registry's mapping.
    if (!active_) return;
    DecipherSmtpPassword();
    JoinThreadRegistry();
    FillLowerHooks();
    if (s.InstallHooks) {
      InstallInterception();
      EnableHiddenExceptionHook(true);
    }
    if (s.HandleExceptions || s.FreezeTimeout > 0) {
      StartHandlingThread();
      InstallHandlerCallMessage();
      if (s.HandleExceptions) {
        HookCreateThread();
        InstallExecutionWrapper(ReportEscapedException);
      }
    }
    StartFreezeWatch();
  }
  CoreLifetime(const CoreLifetime&) = delete;
  CoreLifetime& operator=(const CoreLifetime&) = delete;

  ~CoreLifetime() {
    if (!active_) return;
    Guard(RestorePatches);
    Guard(StopFreezeWatch);
    Guard([] { EnableHiddenExceptionHook(false); });
    Guard(RemoveInterception);
    Guard(EndPausing);
    Guard([] { InstallExecutionWrapper(nullptr); });
    Guard(UnhookCreateThread);
    Guard(RemoveHandlerCallMessage);
    Guard(StopHandlingThread);
    Guard(LeaveThreadRegistry);
    // The debug-information hooks stay: their cache is a static object of
    // its own, already gone by now.
  }

 private:
  bool active_ = false;
};

__attribute__((init_priority(101))) CoreLifetime core_lifetime;

}  // namespace

uint64_t ProcessStartTime() {
  return start_time;
}

}  // namespace qor

// What the library target names as undefined, so that the linker takes
// this file out of the archive although nothing calls into it.
extern "C" const int qorCoreStartup = 1;
