// One HTTP POST and what came back, as the upload needs it.
#pragma once

#include <functional>
#include <string>

namespace qor {

struct HttpPostRequest {
  std::string url;
  std::string content_type;
  // "gzip" when the body is compressed; empty otherwise.
  std::string content_encoding;
  std::string body;
};

struct HttpPostResult {
  enum class Kind {
    kAnswered,      // the server answered; see status
    kUnavailable,   // no HTTP client on this system (wininet.dll missing)
    kBadUrl,        // the URL is not http:// or https://host/...
    kNoConnection,  // no answer: name lookup, connection or transfer failed
  };
  Kind kind = Kind::kNoConnection;
  int status = 0;
  // The answer's "Retry-After" value, if any.
  std::string retry_after;
};

using HttpPoster = std::function<HttpPostResult(const HttpPostRequest&)>;

// Sends `request` through WinINet, loaded at run time (Windows only).
HttpPostResult PostWithWinInet(const HttpPostRequest& request);

}  // namespace qor
