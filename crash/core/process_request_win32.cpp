// The handling pipeline for one request.
#include <windows.h>

#include "crash/attach/list_text.h"
#include "crash/core/call_handlers.h"
#include "crash/core/core_module.h"
#include "crash/core/crash_server_step.h"
#include "crash/core/except_object.h"
#include "crash/core/freeze_watch.h"
#include "crash/core/pipeline_hooks.h"
#include "crash/core/report_exception.h"
#include "crash/core/report_lock.h"
#include "crash/core/settings.h"
#include "crash/core/web_server.h"
#include "crash/modules/guarded_call.h"

namespace qor {
namespace {

// Seconds since 1601-01-01 (UTC), as the request times count.
uint64_t NowSeconds() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return ((uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime) / 10000000;
}

// Keeps the program's other threads at their message loops for its
// lifetime, when pausing applies to the request.
class PausedThreads {
 public:
  explicit PausedThreads(bool pause) : paused_(pause) {
    if (paused_) PauseProgramThreads(true);
  }
  PausedThreads(const PausedThreads&) = delete;
  PausedThreads& operator=(const PausedThreads&) = delete;
  ~PausedThreads() {
    if (paused_) PauseProgramThreads(false);
  }

 private:
  bool paused_;
};

// Runs a step that lives outside the core: what it throws or faults on is
// swallowed, and the pipeline goes on.
template <typename Body>
void RunStep(Body&& step) {
  try {
    Guarded(step);
  } catch (...) {
  }
}

bool IsConsoleProgram() {
  const auto* base = reinterpret_cast<const uint8_t*>(GetModuleHandleA(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
  return nt->OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_CUI;
}

// One request's state as the steps pass it on.
struct Pipeline {
  ExceptRequest& request;
  std::string report;
  TScreenshot screenshot;
  bool handled = false;
  bool can_continue;
  const bool came_with_continue;

  explicit Pipeline(ExceptRequest& r)
      : request(r), can_continue(r.CanContinue != 0), came_with_continue(r.CanContinue != 0) {}

  void Call(int32_t kind, int32_t phase, int32_t action) {
    CallHandlers(kind, phase, action, handled, can_continue, screenshot, report, request.ThreadId,
                 request.ExceptAddress, request.ExceptObject, request.Frozen != 0);
    if (!came_with_continue) can_continue = false;
  }

  // Action handlers first; true when one of them took the action over.
  bool ActionTaken(int32_t action) {
    bool taken = false;
    bool ignored_continue = can_continue;
    CallHandlers(kActionHandlers, 1, action, taken, ignored_continue, screenshot, report,
                 request.ThreadId, request.ExceptAddress, request.ExceptObject,
                 request.Frozen != 0);
    return taken;
  }
};

// Whether the object's class is on the ignore list. Spaces around the
// list's items do not count.
bool IsIgnored(uint32_t object) {
  const char* setting = ExceptSettings.IgnoreList;
  if (object == 0 || setting == nullptr || *setting == 0) return false;
  std::string list = setting;
  TidyList(list, ',');
  return ListContains(list, ExceptClassText(object), ',');
}

void MakeReport(Pipeline& p) {
  const PipelineHooks& hooks = CorePipelineHooks();
  const int mode = ScreenShotModeOf(ExceptSettings.ScreenShotMode);
  if (mode >= 0 && hooks.take_screenshot) {
    RunStep([&] { p.screenshot = hooks.take_screenshot(mode); });
  }
  if (hooks.compose_bug_report) {
    const ReportLock lock;
    const bool show_progress = ExceptSettings.ShowDialog && !ExceptSettings.WebServerMode;
    const ExceptRequest& r = p.request;
    RunStep([&] {
      hooks.compose_bug_report(r.Frozen != 0, r.ExceptObject, r.ExceptAddress, p.report, r.Context,
                               show_progress, r.FramePointer, r.StackPointer, r.ThreadId);
    });
  }
  RunStep([&] { AddCrashServerFiles(p.request, p.report); });
}

// Save, mail and show, as the settings ask. A report of an ignored class
// is empty and goes nowhere.
void DeliverReport(Pipeline& p, bool ignored) {
  const PipelineHooks& hooks = CorePipelineHooks();
  if (ignored) return;
  if (ExceptSettings.AutoSave && !p.ActionTaken(kActionSave) && hooks.save_report) {
    RunStep([&] { hooks.save_report(p.report, nullptr, true); });
  }
  if (ExceptSettings.AutoMail && !p.ActionTaken(kActionMail) && hooks.mail_report) {
    RunStep([&] { hooks.mail_report(p.report, p.screenshot, nullptr, true); });
  }
  if (!ExceptSettings.ShowDialog) return;
  if (ExceptSettings.WebServerMode) {
    if (p.request.ReportOut != 0) {
      *reinterpret_cast<std::string*>(uintptr_t{p.request.ReportOut}) = p.report;
    }
  } else if (CgiOutputApplies()) {
    RunStep([&] { WriteCgiErrorPage(p.report); });
  } else if (hooks.run_except_box) {
    RunStep([&] {
      hooks.run_except_box(p.request.Frozen != 0, p.request.ExceptObject,
                           p.request.ExceptAddress, p.request.ThreadId, p.can_continue,
                           p.screenshot, p.report);
    });
    if (!p.came_with_continue) p.can_continue = false;
  }
}

void FinalAction(Pipeline& p) {
  const uint64_t now = NowSeconds();
  const bool close_due = AutoActionDue(ExceptSettings.AutoClose, ExceptTimes, now);
  const bool restart_due = AutoActionDue(ExceptSettings.AutoRestart, ExceptTimes, now);
  if (close_due || (!p.can_continue && !restart_due)) {
    if (!p.ActionTaken(kActionClose)) CloseProcessNow();
  } else if (restart_due) {
    if (!p.ActionTaken(kActionRestart) && CorePipelineHooks().restart_process) {
      RunStep(CorePipelineHooks().restart_process);
    }
  } else {
    p.ActionTaken(kActionContinue);
  }
}

void RunPipeline(ExceptRequest& request) {
  const bool pause =
      request.Frozen == 0 && CoreInExecutable() && ExceptSettings.PauseRunningThreads;
  const PausedThreads paused(pause);
  ShiftExceptTimes(ExceptTimes, NowSeconds());
  Pipeline p(request);
  p.Call(kExceptionHandlers, 0, 0);
  bool ignored = false;
  if (!p.handled) {
    ignored = IsIgnored(request.ExceptObject);
    if (!ignored) MakeReport(p);
    p.handled = false;
    p.Call(kExceptionHandlers, 1, 0);
    if (!p.handled) p.Call(kExceptionHandlers, 2, 0);
  }
  if (!p.handled || !p.can_continue) {
    if (!p.handled) DeliverReport(p, ignored);
    const bool console = ExceptSettings.ConsoleOutput && IsConsoleProgram();
    if (!p.can_continue || !ExceptSettings.ShowDialog || ExceptSettings.WebServerMode || console) {
      FinalAction(p);
    }
  }
  request.CanContinue = p.can_continue ? 1 : 0;
}

}  // namespace

PipelineHooks& CorePipelineHooks() {
  static PipelineHooks hooks;
  return hooks;
}

void CloseProcessNow() {
  if (const auto close = CorePipelineHooks().close_process) close();
  TerminateProcess(GetCurrentProcess(), 1);
  for (;;) Sleep(INFINITE);
}

void ProcessRequest(ExceptRequest& request) {
  try {
    RunPipeline(request);
  } catch (...) {
    // A failure while a failure is handled is never reported.
  }
  ResetFreezeMisses();
}

}  // namespace qor
