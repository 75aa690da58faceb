// Settings of the minidump upload to a crash server. The defaults upload
// nothing: without a URL no request is made and nothing is queued.
#pragma once

#include <cstdint>
#include <string>

namespace qor {

struct UploadSettings {
  // "http://host[:port]/path" or "https://..."; empty turns the upload off.
  std::string url;
  // The form's "prod" and "ver" fields.
  std::string product;
  std::string version;
  // Set only when the server is known to accept "Content-Encoding: gzip".
  bool gzip_body = false;
  // Folder of reports waiting to be sent; the folder is made when needed.
  std::string queue_folder;
  // The queue keeps at most this many reports and bytes; the oldest go.
  uint32_t queue_max_reports = 5;
  uint64_t queue_max_bytes = 32ull * 1024 * 1024;
  // At most one request per this many seconds (0: no limit).
  uint32_t min_interval_seconds = 60;
  // Wait after a 429 answer without a usable "Retry-After".
  uint32_t busy_wait_seconds = 600;
};

}  // namespace qor
