// A server's answer head and a queue entry file, both from the same bytes:
// the parsers must not fault, and what they accept must hold together.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "crash/delivery/http_response.h"
#include "crash/delivery/upload_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  constexpr int64_t kNow = 1700000000;

  if (const auto head = qor::ParseResponseHead(bytes)) {
    if (head->status < 100 || head->status > 999) std::abort();
    if (const auto wait = qor::RetryAfterSeconds(head->retry_after, kNow)) {
      if (*wait < 0 || *wait > qor::kMaxRetryAfterSeconds) std::abort();
    }
  }
  if (const auto date = qor::ParseHttpDate(bytes)) {
    if (*date < 0) std::abort();
  }
  const auto wait = qor::RetryAfterSeconds(bytes, kNow);
  if (wait && (*wait < 0 || *wait > qor::kMaxRetryAfterSeconds)) std::abort();

  // An entry that decodes encodes back to the same bytes.
  if (const auto entry = qor::DecodeUploadEntry(bytes)) {
    if (qor::EncodeUploadEntry(*entry) != bytes) std::abort();
  }
  return 0;
}
