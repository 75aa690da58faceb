// What an upload needs from an HTTP server's answer: the status code and
// when the server wants to be asked again ("Retry-After", in seconds or as
// an HTTP date).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qor {

struct HttpResponseHead {
  int status = 0;
  // The first "Retry-After" value, trimmed; empty when there is none.
  std::string retry_after;
};

// Reads the status line and header lines (CRLF or LF ends, the blank line
// and anything after it ignored). Nullopt when the first line is not
// "HTTP/x.y NNN ...".
std::optional<HttpResponseHead> ParseResponseHead(std::string_view head);

// Seconds since 1970 (UTC) of an HTTP date in any of its three forms:
// "Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT" and
// "Sun Nov  6 08:49:37 1994". Nullopt for anything else or an impossible
// date; two-digit years are 1970 to 2069.
std::optional<int64_t> ParseHttpDate(std::string_view text);

// The longest wait honoured; a server asking for more gets asked again
// after this, so that one bad header cannot stop uploads for good.
constexpr int64_t kMaxRetryAfterSeconds = 7 * 24 * 3600;

// Seconds to wait from `now` (seconds since 1970) for a "Retry-After"
// value: a count of seconds or a date (a date in the past gives 0), at
// most kMaxRetryAfterSeconds. Nullopt when the value is neither.
std::optional<int64_t> RetryAfterSeconds(std::string_view value, int64_t now);

}  // namespace qor
