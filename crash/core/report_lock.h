// Reports are composed one at a time: the stack walker's tables and the
// debug-information cache grow without locks of their own, so every
// composition, on the handling thread or on a thread that disposes of a
// hidden exception, holds this lock (Windows only).
#pragma once

namespace qor {

class ReportLock {
 public:
  ReportLock();
  ReportLock(const ReportLock&) = delete;
  ReportLock& operator=(const ReportLock&) = delete;
  ~ReportLock();
};

}  // namespace qor
