// Sending crash reports to a crash server: the minidump and the text
// report as one form upload, with older reports that are still waiting in
// the queue going first. Reports that find the server unreachable, busy or
// failing stay queued for the next run; a server's "Retry-After" and the
// configured interval between requests are kept across runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "crash/delivery/http_post.h"
#include "crash/delivery/upload_entry.h"
#include "crash/delivery/upload_settings.h"

namespace qor {

// The form's file fields.
constexpr char kMinidumpField[] = "upload_file_minidump";
constexpr char kReportField[] = "upload_file_report";

struct CrashUpload {
  // The report's id, sent as "guid".
  std::string guid;
  std::string minidump_path;
  std::string report_file_name;
  std::string report_text;
};

enum class UploadStatus {
  kNotConfigured,  // no URL: nothing sent, nothing queued
  kNoMinidump,     // the minidump file could not be read
  kSent,
  kQueued,         // waiting for the next run (network, server, 429, interval)
  kRefused,        // the server rejected the report (4xx); it is not kept
  kUnavailable,    // no HTTP client or an unusable URL; the report is kept
  kLost,           // neither sent nor storable in the queue
};

struct UploadRun {
  // What became of the new report (kQueued when there was none).
  UploadStatus report = UploadStatus::kQueued;
  int sent = 0;
  size_t waiting = 0;
};

// The queue entry for one report: fields "prod", "ver" and "guid", the
// minidump and the text report. Nullopt when the minidump cannot be read
// within the queue's byte cap.
std::optional<UploadEntry> CrashUploadEntry(const UploadSettings& settings,
                                            const CrashUpload& report);

// The POST for one entry, gzip-compressed when the settings say the server
// takes that.
HttpPostRequest UploadRequest(const UploadSettings& settings, const UploadEntry& entry);

// Queues `report` (when given) and sends what the server's last answers
// and the interval allow, oldest first, through `post`; `now` is seconds
// since 1970.
UploadRun DeliverUploads(const UploadSettings& settings, const UploadEntry* report, int64_t now,
                         const HttpPoster& post);

// The report action, and the retry at start-up: DeliverUploads through
// WinINet at the system's time (Windows only).
UploadRun UploadCrashReport(const UploadSettings& settings, const CrashUpload& report);
UploadRun RetryQueuedUploads(const UploadSettings& settings);

}  // namespace qor
