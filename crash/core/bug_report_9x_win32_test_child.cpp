// Started by bug_report_9x_win32_test under Wine's win98 version mode:
// prints the report of a frozen program.
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "crash/core/bug_report.h"
#include "crash/core/thread_registry.h"

int main() {
  qor::JoinThreadRegistry();
  qor::BugReportInput input;
  input.Frozen = true;
  _setmode(_fileno(stdout), _O_BINARY);  // the report's own line ends
  std::fputs(qor::ComposeBugReportText(input).c_str(), stdout);
  qor::LeaveThreadRegistry();
  return 0;
}
