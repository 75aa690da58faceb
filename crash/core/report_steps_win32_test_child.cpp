// A program that carries the running core with its own dialog and report
// actions, for report_steps_win32_test. It fails in its GUI event handler
// in the way its first argument names; the second argument is a file of
// the scenario (the bug-report file, or where a restarted copy writes).
#include <windows.h>

#include <fstream>
#include <string>

#include "crash/core/except_request.h"
#include "crash/core/pipeline_hooks.h"
#include "crash/core/settings.h"
#include "gui/application.h"
#include "runtime/exceptions.h"

using HandleExceptionCode = void (*)(gui::Application*);
using ShowExceptionCode = void (*)(gui::Application*, const std::string&);

namespace qor {
TExceptSettings ExceptSettings{
    .ScreenShotMode = 0,
    .ButtonCaptions = {"", "save bug report", "", "show bug report", "continue application",
                       "restart application", "close application"},
    .ConsoleOutput = false,
    .HookTargets = {
        .GuiHandleException =
            reinterpret_cast<const void*>(HandleExceptionCode(&gui::Application::HandleException)),
        .GuiShowException =
            reinterpret_cast<const void*>(ShowExceptionCode(&gui::Application::ShowException)),
    }};
}  // namespace qor

namespace {

void Say(const std::string& line) {
  const std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()),
            &written, nullptr);
}

void GuiFailure(const std::string& message) {
  try {
    throw runtime::Exception(message);
  } catch (...) {
    gui::Application::Instance().HandleException();
  }
}

// The restart rule needs many reports, not their contents.
void ShortCompose(bool, uint32_t, uint32_t, std::string& report, uint32_t, bool, uint32_t,
                  uint32_t, uint32_t) {
  report = "short report";
}

int HandedOverTimes() {
  int count = 0;
  for (uint64_t time : qor::ExceptTimes) count += time != 0;
  return count;
}

// Each copy of the program appends its line to `log`; returns how many
// copies started before this one.
int Generation(const std::string& log) {
  std::ifstream in(log);
  int lines = 0;
  for (std::string line; std::getline(in, line);) ++lines;
  std::ofstream(log, std::ios::app) << "start times=" << HandedOverTimes() << "\n";
  return lines;
}

// Ten failures within the restart rule's time restart the program; the
// copy inherits the ten times, so its first failure restarts it again.
int RestartRule(const std::string& log) {
  qor::ExceptSettings.ShowDialog = false;
  qor::ExceptSettings.AutoRestart = 3600;
  qor::CorePipelineHooks().compose_bug_report = ShortCompose;
  const int generation = Generation(log);
  if (generation >= 2) return 0;
  const int failures = generation == 0 ? 10 : 1;
  for (int i = 1; i <= failures; ++i) {
    Say("failure " + std::to_string(i));
    GuiFailure("failure " + std::to_string(i));
  }
  Say("not restarted");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string scenario = argc > 1 ? argv[1] : "";
  const std::string file = argc > 2 ? argv[2] : "";
  if (scenario == "restart_rule") return RestartRule(file);
  if (scenario == "restart" && HandedOverTimes() > 0) {
    std::ofstream(file) << "restarted times=" << HandedOverTimes() << "\n";
    return 0;
  }
  if (scenario == "save") qor::ExceptSettings.BugReportFile.Assign(file);
  if (scenario == "console") qor::ExceptSettings.ConsoleOutput = true;
  if (scenario == "fatal") {
    *static_cast<volatile int*>(nullptr) = 1;
  } else {
    GuiFailure("the " + scenario + " scenario failed");
  }
  Say("continued");
  return 0;
}
