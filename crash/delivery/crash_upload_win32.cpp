#include <ctime>

#include "crash/delivery/crash_upload.h"

namespace qor {

UploadRun UploadCrashReport(const UploadSettings& settings, const CrashUpload& report) {
  UploadRun run;
  if (settings.url.empty()) {
    run.report = UploadStatus::kNotConfigured;
    return run;
  }
  const std::optional<UploadEntry> entry = CrashUploadEntry(settings, report);
  if (!entry) {
    run = RetryQueuedUploads(settings);
    run.report = UploadStatus::kNoMinidump;
    return run;
  }
  return DeliverUploads(settings, &*entry, std::time(nullptr), PostWithWinInet);
}

UploadRun RetryQueuedUploads(const UploadSettings& settings) {
  return DeliverUploads(settings, nullptr, std::time(nullptr), PostWithWinInet);
}

}  // namespace qor
