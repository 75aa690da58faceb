// A CGI program that carries the crash-report core, for
// cgi_failure_win32_test: its query string "ok" answers, anything else
// fails with a message full of markup.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "crash/core/settings.h"
#include "runtime/exceptions.h"
#include "web/cgi_application.h"

using HandleExceptionCode = void (*)(web::CgiApplication*);

namespace qor {
TExceptSettings ExceptSettings{
    .ScreenShotMode = 0,
    .ErrorMessage = "The shop failed: %exceptMsg%",
    .ListAllThreads = false,
    .ListModules = false,
    .ListHardware = false,
    .HookTargets = {
        .CgiHandler = reinterpret_cast<const void*>(
            HandleExceptionCode(&web::CgiApplication::HandleException)),
    }};
}  // namespace qor

namespace {

void Serve() {
  const char* query = std::getenv("QUERY_STRING");
  if (query != nullptr && std::string(query) == "ok") {
    const std::string response = "Content-Type: text/plain\r\n\r\nfine\r\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), response.data(),
              static_cast<DWORD>(response.size()), &written, nullptr);
    return;
  }
  throw runtime::Exception("<script>alert('hi')</script></textarea><b>Basket & lost</b>");
}

}  // namespace

int main() { return web::CgiApplication::Instance().Run(Serve); }
