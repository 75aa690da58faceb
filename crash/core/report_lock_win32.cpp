#include "crash/core/report_lock.h"

#include <windows.h>

namespace qor {
namespace {

// Made on first use, which start-up forces before a second thread can
// compose; never deleted, so a report during shut-down still finds it.
CRITICAL_SECTION& Section() {
  static CRITICAL_SECTION* section = [] {
    auto* made = new CRITICAL_SECTION;
    InitializeCriticalSection(made);
    return made;
  }();
  return *section;
}

}  // namespace

ReportLock::ReportLock() {
  EnterCriticalSection(&Section());
}
ReportLock::~ReportLock() {
  LeaveCriticalSection(&Section());
}

}  // namespace qor
