// The thread section of a bug report (Windows only).
#pragma once

#include <cstdint>
#include <string>

#include "crash/core/bug_report.h"

namespace qor {

// Where the failing function is, as the walk of the failing thread (the
// main thread of a frozen program) found it; 0 when it did not run.
struct TFailingCode {
  uint32_t FunctionEntry = 0;
  uint32_t CodeAddress = 0;
};

// One block per listed thread: the failing thread first, then the main
// thread, then (with ListAllThreads) every other in the system's order.
std::string ThreadSectionText(const BugReportInput& input, TFailingCode& failing_code);

}  // namespace qor
