#include <windows.h>
#include <wininet.h>

#include <string>

#include "crash/delivery/http_post.h"
#include "crash/delivery/http_response.h"
#include "crash/delivery/library_win32.h"

namespace qor {
namespace {

// A crash handler must not hang on a server that never answers.
constexpr DWORD kTimeoutMs = 30000;
constexpr char kAgent[] = "qor-crash-upload/1";

using InternetOpenProc = HINTERNET(WINAPI*)(LPCSTR, DWORD, LPCSTR, LPCSTR, DWORD);
using InternetConnectProc = HINTERNET(WINAPI*)(HINTERNET, LPCSTR, INTERNET_PORT, LPCSTR, LPCSTR,
                                               DWORD, DWORD, DWORD_PTR);
using HttpOpenRequestProc = HINTERNET(WINAPI*)(HINTERNET, LPCSTR, LPCSTR, LPCSTR, LPCSTR, LPCSTR*,
                                               DWORD, DWORD_PTR);
using HttpSendRequestProc = BOOL(WINAPI*)(HINTERNET, LPCSTR, DWORD, LPVOID, DWORD);
using HttpQueryInfoProc = BOOL(WINAPI*)(HINTERNET, DWORD, LPVOID, LPDWORD, LPDWORD);
using InternetSetOptionProc = BOOL(WINAPI*)(HINTERNET, DWORD, LPVOID, DWORD);
using InternetCrackUrlProc = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, URL_COMPONENTSA*);
using InternetCloseHandleProc = BOOL(WINAPI*)(HINTERNET);

struct WinInet {
  explicit WinInet(const Library& library)
      : open(library.Find<InternetOpenProc>("InternetOpenA")),
        connect(library.Find<InternetConnectProc>("InternetConnectA")),
        open_request(library.Find<HttpOpenRequestProc>("HttpOpenRequestA")),
        send_request(library.Find<HttpSendRequestProc>("HttpSendRequestA")),
        query_info(library.Find<HttpQueryInfoProc>("HttpQueryInfoA")),
        set_option(library.Find<InternetSetOptionProc>("InternetSetOptionA")),
        crack_url(library.Find<InternetCrackUrlProc>("InternetCrackUrlA")),
        close(library.Find<InternetCloseHandleProc>("InternetCloseHandle")) {}

  bool complete() const {
    return open && connect && open_request && send_request && query_info && set_option &&
           crack_url && close;
  }

  InternetOpenProc open;
  InternetConnectProc connect;
  HttpOpenRequestProc open_request;
  HttpSendRequestProc send_request;
  HttpQueryInfoProc query_info;
  InternetSetOptionProc set_option;
  InternetCrackUrlProc crack_url;
  InternetCloseHandleProc close;
};

// An Internet handle closed when the object goes.
class ScopedInternet {
 public:
  ScopedInternet(const WinInet& api, HINTERNET handle) : api_(api), handle_(handle) {}
  ScopedInternet(const ScopedInternet&) = delete;
  ScopedInternet& operator=(const ScopedInternet&) = delete;
  ~ScopedInternet() {
    if (handle_ != nullptr) api_.close(handle_);
  }
  HINTERNET get() const { return handle_; }

 private:
  const WinInet& api_;
  HINTERNET handle_;
};

struct UrlParts {
  bool secure = false;
  std::string host;
  INTERNET_PORT port = 0;
  std::string path;  // with the query
};

bool CrackUrl(const WinInet& api, const std::string& url, UrlParts& parts) {
  char host[256] = {};
  char path[2048] = {};
  char extra[2048] = {};
  URL_COMPONENTSA components{};
  components.dwStructSize = sizeof components;
  components.lpszHostName = host;
  components.dwHostNameLength = sizeof host;
  components.lpszUrlPath = path;
  components.dwUrlPathLength = sizeof path;
  components.lpszExtraInfo = extra;
  components.dwExtraInfoLength = sizeof extra;
  if (!api.crack_url(url.c_str(), 0, 0, &components) || host[0] == '\0' ||
      (components.nScheme != INTERNET_SCHEME_HTTP && components.nScheme != INTERNET_SCHEME_HTTPS)) {
    return false;
  }
  parts.secure = components.nScheme == INTERNET_SCHEME_HTTPS;
  parts.host = host;
  parts.port = components.nPort;
  parts.path = std::string(path[0] == '\0' ? "/" : path) + extra;
  return true;
}

// The status line and headers of the answer, as the server sent them.
std::string RawHead(const WinInet& api, HINTERNET request) {
  std::string head(4096, '\0');
  DWORD size = static_cast<DWORD>(head.size());
  if (!api.query_info(request, HTTP_QUERY_RAW_HEADERS_CRLF, head.data(), &size, nullptr)) {
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
    head.assign(size + 1, '\0');
    size = static_cast<DWORD>(head.size());
    if (!api.query_info(request, HTTP_QUERY_RAW_HEADERS_CRLF, head.data(), &size, nullptr)) {
      return {};
    }
  }
  head.resize(size);
  return head;
}

HttpPostResult Post(const WinInet& api, const HttpPostRequest& request) {
  HttpPostResult result;
  UrlParts url;
  if (!CrackUrl(api, request.url, url)) {
    result.kind = HttpPostResult::Kind::kBadUrl;
    return result;
  }
  const ScopedInternet session(
      api, api.open(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (session.get() == nullptr) return result;
  DWORD timeout = kTimeoutMs;
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                       INTERNET_OPTION_RECEIVE_TIMEOUT}) {
    api.set_option(session.get(), option, &timeout, sizeof timeout);
  }
  const ScopedInternet connection(api, api.connect(session.get(), url.host.c_str(), url.port,
                                                   nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (connection.get() == nullptr) return result;
  const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                      INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI |
                      (url.secure ? INTERNET_FLAG_SECURE : 0);
  const ScopedInternet http(api, api.open_request(connection.get(), "POST", url.path.c_str(),
                                                  nullptr, nullptr, nullptr, flags, 0));
  if (http.get() == nullptr) return result;
  std::string headers = "Content-Type: " + request.content_type + "\r\n";
  if (!request.content_encoding.empty()) {
    headers += "Content-Encoding: " + request.content_encoding + "\r\n";
  }
  if (!api.send_request(http.get(), headers.c_str(), static_cast<DWORD>(headers.size()),
                        const_cast<char*>(request.body.data()),
                        static_cast<DWORD>(request.body.size()))) {
    return result;
  }
  const std::optional<HttpResponseHead> head = ParseResponseHead(RawHead(api, http.get()));
  if (!head) return result;
  result.kind = HttpPostResult::Kind::kAnswered;
  result.status = head->status;
  result.retry_after = head->retry_after;
  return result;
}

}  // namespace

HttpPostResult PostWithWinInet(const HttpPostRequest& request) {
  const Library library("wininet.dll");
  const WinInet api(library);
  if (!api.complete()) {
    HttpPostResult result;
    result.kind = HttpPostResult::Kind::kUnavailable;
    return result;
  }
  return Post(api, request);
}

}  // namespace qor
