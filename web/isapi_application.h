// An ISAPI extension: a library whose exported HttpExtensionProc the web
// server calls for each request, on many threads at once (Windows only).
#pragma once

#include <windows.h>
#include <httpext.h>

namespace web {

class IsapiApplication {
 public:
  // Serves one request through the block's WriteClient and
  // ServerSupportFunction; returns an HSE_STATUS_ code.
  using Handler = DWORD (*)(EXTENSION_CONTROL_BLOCK& block);

  static IsapiApplication& Instance();

  // The extension's handler and the description the server is told; set
  // once, before the server sends requests.
  void SetHandler(Handler handler, const char* description);

  // What the exported HttpExtensionProc does: the handler, and for an
  // exception that escapes it HandleException and HSE_STATUS_ERROR.
  DWORD HandleRequest(EXTENSION_CONTROL_BLOCK* block);

  // Called inside the catch block of a failed request: answers with status
  // 500 and the exception's message as plain text. The crash-report core
  // takes this routine over when it is configured to.
  void HandleException(EXTENSION_CONTROL_BLOCK* block);

  const char* Description() const { return description_; }

 private:
  IsapiApplication() = default;
  Handler handler_ = nullptr;
  const char* description_ = "";
};

}  // namespace web

// The entries the server looks up by name.
extern "C" {
__declspec(dllexport) BOOL WINAPI GetExtensionVersion(HSE_VERSION_INFO* version);
__declspec(dllexport) DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* block);
__declspec(dllexport) BOOL WINAPI TerminateExtension(DWORD flags);
}
