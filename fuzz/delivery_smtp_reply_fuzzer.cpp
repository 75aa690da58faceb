// SMTP replies arriving in portions: byte 0 picks the expected code and
// whether the AUTH LOGIN flag is asked for; then each portion is a length
// byte followed by that many bytes.
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "crash/delivery/smtp_reply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const char* const kCodes[] = {"220", "250", "334", "354"};
  bool auth = false;
  qor::SmtpReplyReader reader(kCodes[data[0] & 3], (data[0] & 4) ? &auth : nullptr);
  using Status = qor::SmtpReplyReader::Status;
  Status status = Status::kNeedMore;
  size_t at = 1;
  size_t fed = 0;
  while (at < size) {
    const size_t length = std::min<size_t>(data[at], size - at - 1);
    const std::string_view portion(reinterpret_cast<const char*>(data + at + 1), length);
    at += 1 + length;
    fed += length;
    const Status next = reader.Feed(portion);
    // A final answer never changes, and a match needs the code and a line end.
    if (status != Status::kNeedMore && next != status) std::abort();
    status = next;
  }
  if (status == Status::kMatched && fed < 4) std::abort();
  if (auth && !(data[0] & 4)) std::abort();
  return 0;
}
