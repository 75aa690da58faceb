// An ISAPI extension that carries the crash-report core, for
// isapi_failure_win32_test. The query string says what a request does:
//   ok              answers "fine"
//   throw=TEXT      throws an exception with the message TEXT
//   header=TEXT     sends its own header and a line, then throws TEXT
//   fault           writes through a null pointer
//   pending         keeps the request for qorTestFinishPending
#include <cstring>
#include <string>

#include "crash/core/settings.h"
#include "runtime/exceptions.h"
#include "web/isapi_application.h"

using HandleExceptionCode = void (*)(web::IsapiApplication*, EXTENSION_CONTROL_BLOCK*);

namespace qor {
TExceptSettings ExceptSettings{
    .ScreenShotMode = 0,
    .ErrorMessage = "Request failed: %exceptMsg%",
    .ButtonCaptions = {"", "", "", "show bug report", "", "", ""},
    .ListAllThreads = false,
    .ListModules = false,
    .ListHardware = false,
    .HookTargets = {
        .IsapiHandler = reinterpret_cast<const void*>(
            HandleExceptionCode(&web::IsapiApplication::HandleException)),
        .IsapiExtensionEntry = reinterpret_cast<const void*>(&HttpExtensionProc),
    }};
}  // namespace qor

namespace {

EXTENSION_CONTROL_BLOCK* pending = nullptr;

void Write(EXTENSION_CONTROL_BLOCK& block, std::string text) {
  DWORD size = static_cast<DWORD>(text.size());
  block.WriteClient(block.ConnID, text.data(), &size, 0);
}

BOOL SendHeader(EXTENSION_CONTROL_BLOCK& block, const char* status) {
  char header[] = "Content-Type: text/plain\r\n\r\n";
  DWORD size = static_cast<DWORD>(std::strlen(status));
  return block.ServerSupportFunction(block.ConnID, HSE_REQ_SEND_RESPONSE_HEADER,
                                     const_cast<char*>(status), &size,
                                     reinterpret_cast<LPDWORD>(header));
}

DWORD Serve(EXTENSION_CONTROL_BLOCK& block) {
  const std::string query = block.lpszQueryString;
  if (query.rfind("throw=", 0) == 0) throw runtime::Exception(query.substr(6));
  if (query.rfind("header=", 0) == 0) {
    SendHeader(block, "200 OK");
    Write(block, "partial\r\n");
    throw runtime::Exception(query.substr(7));
  }
  if (query == "fault") *static_cast<volatile int*>(nullptr) = 1;
  if (query == "pending") {
    pending = &block;
    return HSE_STATUS_PENDING;
  }
  block.dwHttpStatusCode = 200;
  SendHeader(block, "200 OK");
  Write(block, "fine");
  return HSE_STATUS_SUCCESS;
}

const bool registered = [] {
  web::IsapiApplication::Instance().SetHandler(Serve, "test extension");
  return true;
}();

}  // namespace

// Answers the pending request and ends its session, as an extension does
// from a thread of its own; what the server sees of it proves that the
// core still routes its calls.
extern "C" __declspec(dllexport) void WINAPI qorTestFinishPending() {
  EXTENSION_CONTROL_BLOCK& block = *pending;
  pending = nullptr;
  block.dwHttpStatusCode = 202;
  SendHeader(block, "202 Accepted");
  Write(block, "later");
  DWORD status = HSE_STATUS_SUCCESS;
  block.ServerSupportFunction(block.ConnID, HSE_REQ_DONE_WITH_SESSION, &status, nullptr, nullptr);
}
