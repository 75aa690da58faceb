#include "crash/core/report_steps.h"

#include <span>
#include <string>

#include "crash/core/call_handlers.h"
#include "crash/core/except_box.h"
#include "crash/core/except_object.h"
#include "crash/core/except_request.h"
#include "crash/core/freeze_watch.h"
#include "crash/core/handler_lists.h"
#include "crash/core/pipeline_hooks.h"
#include "crash/core/report_actions.h"

namespace qor {
namespace {

// The request whose dialog is open on this thread. The dialog's buttons ask
// the action handlers with its facts; a handler may change the report and
// the screenshot as in the pipeline's own steps.
struct OpenRequest {
  bool frozen;
  uint32_t object;
  uint32_t address;
  uint32_t thread_id;
  TScreenshot& screenshot;
  std::string& report;
};

// Requests are handled one at a time on the handling thread, but one made
// under the loader lock runs on its own thread: hence one per thread.
thread_local OpenRequest* open_request = nullptr;

class OpenRequestScope {
 public:
  explicit OpenRequestScope(OpenRequest& request) { open_request = &request; }
  OpenRequestScope(const OpenRequestScope&) = delete;
  OpenRequestScope& operator=(const OpenRequestScope&) = delete;
  ~OpenRequestScope() { open_request = nullptr; }
};

bool FireAction(int action) {
  OpenRequest* r = open_request;
  if (r == nullptr) return false;
  bool handled = false;
  bool can_continue = true;  // action handlers cannot change it
  CallHandlers(kActionHandlers, 1, action, handled, can_continue, r->screenshot, r->report,
               r->thread_id, r->address, r->object, r->frozen);
  return handled;
}

void RunDialog(bool frozen, uint32_t object, uint32_t address, uint32_t thread_id,
               bool& can_continue, TScreenshot& screenshot, std::string& report) {
  ExceptBoxRequest box;
  box.frozen = frozen;
  box.exception_message = ExceptMessageText(object);
  box.can_continue = can_continue;
  box.screenshot_png = screenshot;
  box.report = report;
  box.times = ExceptTimes;
  box.fire_action = FireAction;
  // A frozen program's dialog asks the main thread, through the watchdog's
  // probe, whether it answers again, and then closes itself.
  box.post_probe = PostFreezeProbe;
  OpenRequest request{frozen, object, address, thread_id, screenshot, report};
  const OpenRequestScope scope(request);
  RunExceptBox(box);
}

bool MailFromPipeline(const std::string& report, const TScreenshot& screenshot,
                      void* owner_window, bool silent) {
  return MailReport(report, screenshot, owner_window, silent);
}

[[noreturn]] void RestartWithTimes() { RestartProcess(ExceptTimes); }

}  // namespace

void InstallReportSteps() {
  PipelineHooks& hooks = CorePipelineHooks();
  hooks.run_except_box = RunDialog;
  hooks.save_report = SaveReport;
  hooks.mail_report = MailFromPipeline;
  hooks.restart_process = RestartWithTimes;
  hooks.close_process = CloseProcess;
}

}  // namespace qor
