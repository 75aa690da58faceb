#include "crash/delivery/crash_upload.h"

#include <vector>

#include "crash/attach/gzip_stream.h"
#include "crash/delivery/http_response.h"
#include "crash/delivery/multipart_form.h"
#include "crash/delivery/upload_folder.h"
#include "crash/delivery/upload_queue.h"

namespace qor {
namespace {

std::string FileNameOf(const std::string& path) {
  const size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

// A report to try: queued under `name`, or only in memory when the queue
// could not take it.
struct Candidate {
  std::string name;
  std::optional<UploadEntry> unqueued;
  bool is_report = false;
};

enum class Step { kNext, kStop };

// Whether the state lets a request go out at `now`.
bool MayAsk(const UploadSettings& settings, const UploadQueueState& state, int64_t now) {
  if (now < state.not_before) return false;
  return settings.min_interval_seconds == 0 || state.last_attempt == 0 ||
         now >= state.last_attempt + settings.min_interval_seconds ||
         now < state.last_attempt;  // the clock went back; do not wait for it
}

// The status a report gets from one answer, and whether to try the next.
Step Judge(const UploadSettings& settings, const HttpPostResult& result, int64_t now,
           UploadQueueState& state, UploadStatus& status) {
  if (result.kind == HttpPostResult::Kind::kUnavailable ||
      result.kind == HttpPostResult::Kind::kBadUrl) {
    status = UploadStatus::kUnavailable;
    return Step::kStop;
  }
  if (result.kind != HttpPostResult::Kind::kAnswered || result.status >= 500 ||
      result.status < 200) {
    status = UploadStatus::kQueued;
    return Step::kStop;
  }
  if (result.status == 429) {
    const std::optional<int64_t> wait = RetryAfterSeconds(result.retry_after, now);
    state.not_before = now + wait.value_or(settings.busy_wait_seconds);
    status = UploadStatus::kQueued;
    return Step::kStop;
  }
  // Any other answer is final for this report: sent, or refused for good
  // (asking again would get the same refusal and hold up the queue).
  status = result.status < 300 ? UploadStatus::kSent : UploadStatus::kRefused;
  return Step::kNext;
}

}  // namespace

std::optional<UploadEntry> CrashUploadEntry(const UploadSettings& settings,
                                            const CrashUpload& report) {
  std::optional<std::string> minidump =
      ReadWholeFile(report.minidump_path, settings.queue_max_bytes);
  if (!minidump) return std::nullopt;
  UploadEntry entry;
  entry.parts = {
      {"prod", "", "", settings.product},
      {"ver", "", "", settings.version},
      {"guid", "", "", report.guid},
      {kMinidumpField, FileNameOf(report.minidump_path), "application/octet-stream",
       std::move(*minidump)},
      {kReportField, report.report_file_name, "text/plain", report.report_text},
  };
  return entry;
}

HttpPostRequest UploadRequest(const UploadSettings& settings, const UploadEntry& entry) {
  MultipartForm form = BuildMultipartForm(entry.parts);
  HttpPostRequest request{settings.url, std::move(form.content_type), "", std::move(form.body)};
  if (settings.gzip_body) {
    std::string packed = GzipCompress(request.body);
    if (!packed.empty()) {
      request.body = std::move(packed);
      request.content_encoding = "gzip";
    }
  }
  return request;
}

UploadRun DeliverUploads(const UploadSettings& settings, const UploadEntry* report, int64_t now,
                         const HttpPoster& post) {
  UploadRun run;
  if (settings.url.empty()) {
    run.report = UploadStatus::kNotConfigured;
    return run;
  }
  const UploadQueue queue(settings.queue_folder, settings.queue_max_reports,
                          settings.queue_max_bytes);
  std::optional<std::string> report_name;
  if (report != nullptr) report_name = queue.Add(*report);
  std::vector<Candidate> candidates;
  for (std::string& name : queue.Waiting()) {
    const bool is_report = name == report_name;
    candidates.push_back({std::move(name), std::nullopt, is_report});
  }
  if (report != nullptr && !report_name) candidates.push_back({"", *report, true});
  if (report != nullptr) run.report = report_name ? UploadStatus::kQueued : UploadStatus::kLost;

  UploadQueueState state = queue.LoadState();
  for (Candidate& candidate : candidates) {
    if (!MayAsk(settings, state, now)) break;
    std::optional<UploadEntry> entry =
        candidate.unqueued ? std::move(candidate.unqueued) : queue.Read(candidate.name);
    if (!entry) {  // damaged or cut short: it can never be sent
      queue.Remove(candidate.name);
      continue;
    }
    const HttpPostResult result = post(UploadRequest(settings, *entry));
    state.last_attempt = now;
    UploadStatus status = UploadStatus::kQueued;
    const Step step = Judge(settings, result, now, state, status);
    if (step == Step::kNext && !candidate.name.empty()) queue.Remove(candidate.name);
    if (status == UploadStatus::kSent) ++run.sent;
    if (candidate.is_report) {
      const bool final = status == UploadStatus::kSent || status == UploadStatus::kRefused;
      run.report = candidate.name.empty() && !final ? UploadStatus::kLost : status;
    }
    if (step == Step::kStop) break;
  }
  queue.SaveState(state);
  run.waiting = queue.Waiting().size();
  return run;
}

}  // namespace qor
