#include "web/isapi_application.h"

#include <cstring>
#include <string>

#include "runtime/exceptions.h"
#include "web/current_message.h"

namespace web {

IsapiApplication& IsapiApplication::Instance() {
  static IsapiApplication application;
  return application;
}

void IsapiApplication::SetHandler(Handler handler, const char* description) {
  handler_ = handler;
  description_ = description;
}

DWORD IsapiApplication::HandleRequest(EXTENSION_CONTROL_BLOCK* block) {
  try {
    if (handler_ == nullptr) throw runtime::Exception("No request handler");
    return handler_(*block);
  } catch (...) {
    HandleException(block);
    return HSE_STATUS_ERROR;
  }
}

// Kept out of line: the core patches its entry.
__attribute__((noinline)) void IsapiApplication::HandleException(EXTENSION_CONTROL_BLOCK* block) {
  char status[] = "500 Internal Server Error";
  char header[] = "Content-Type: text/plain\r\n\r\n";
  DWORD size = sizeof status - 1;
  block->dwHttpStatusCode = 500;
  block->ServerSupportFunction(block->ConnID, HSE_REQ_SEND_RESPONSE_HEADER, status, &size,
                               reinterpret_cast<DWORD*>(header));
  std::string text = CurrentExceptionMessage() + "\r\n";
  DWORD length = static_cast<DWORD>(text.size());
  block->WriteClient(block->ConnID, text.data(), &length, 0);
}

}  // namespace web

BOOL WINAPI GetExtensionVersion(HSE_VERSION_INFO* version) {
  version->dwExtensionVersion = MAKELONG(HSE_VERSION_MINOR, HSE_VERSION_MAJOR);
  std::strncpy(version->lpszExtensionDesc, web::IsapiApplication::Instance().Description(),
               HSE_MAX_EXT_DLL_NAME_LEN - 1);
  version->lpszExtensionDesc[HSE_MAX_EXT_DLL_NAME_LEN - 1] = 0;
  return TRUE;
}

DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* block) {
  return web::IsapiApplication::Instance().HandleRequest(block);
}

BOOL WINAPI TerminateExtension(DWORD) { return TRUE; }
