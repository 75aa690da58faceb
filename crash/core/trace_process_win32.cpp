#include "crash/core/trace_process.h"

#include <windows.h>

#include <string>

#include "crash/core/report_actions.h"
#include "crash/core/compose_bug_report.h"
#include "crash/core/report_lock.h"
#include "crash/core/thread_registry.h"
#include "crash/core/trace_view.h"
#include "crash/core/win_handle.h"
#include "crash/modules/os_version.h"

namespace qor {
namespace {

// A view of a whole mapping, unmapped with it.
class MappedView {
 public:
  explicit MappedView(HANDLE mapping)
      : view_(static_cast<uint8_t*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0))) {}
  MappedView(const MappedView&) = delete;
  MappedView& operator=(const MappedView&) = delete;
  ~MappedView() {
    if (view_) UnmapViewOfFile(view_);
  }
  uint8_t* get() const { return view_; }

  // The bytes from the view's start to the end of its region: what may be
  // written, whatever size the tool claims.
  size_t Size() const {
    MEMORY_BASIC_INFORMATION region = {};
    if (!view_ || VirtualQuery(view_, &region, sizeof region) != sizeof region) return 0;
    return region.RegionSize;
  }

 private:
  uint8_t* view_;
};

HANDLE OpenTraceMapping() {
  HANDLE mapping = nullptr;
  if (CurrentOs().IsNT) mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, kTraceMapGlobalName);
  if (mapping == nullptr) mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, kTraceMapName);
  return mapping;
}

void HandOut(const std::string& report, int32_t max_length) {
  if (max_length < 1) {
    CopyToClipboard(report);
    return;
  }
  const OwnedHandle mapping(OpenTraceMapping());
  if (!mapping) return;
  const MappedView view(mapping.get());
  CopyTraceToView(report, max_length, view.get(), view.Size());
}

// Names the calling thread "-" (hidden from reports) for its lifetime.
class HiddenThread {
 public:
  HiddenThread() : id_(GetCurrentThreadId()) { SetThreadDisplayName(id_, kHiddenThreadName); }
  HiddenThread(const HiddenThread&) = delete;
  HiddenThread& operator=(const HiddenThread&) = delete;
  ~HiddenThread() { SetThreadDisplayName(id_, ""); }

 private:
  uint32_t id_;
};

}  // namespace
}  // namespace qor

extern "C" uint32_t __stdcall qorTraceProcess(int32_t max_length) {
  try {
    const qor::HiddenThread hidden;
    std::string report;
    {
      const qor::ReportLock lock;
      qor::ComposeBugReport(true, 0, 0, report, 0, false, 0, 0, GetCurrentThreadId());
    }
    if (!report.empty()) qor::HandOut(report, max_length);
  } catch (...) {
    // A thread routine: nothing may leave it.
  }
  return 0;
}
