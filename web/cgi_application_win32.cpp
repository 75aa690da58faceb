#include "web/cgi_application.h"

#include <windows.h>

#include <string>

#include "web/current_message.h"

namespace web {
namespace {

void WriteOut(const std::string& text) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()),
            &written, nullptr);
}

}  // namespace

CgiApplication& CgiApplication::Instance() {
  static CgiApplication application;
  return application;
}

int CgiApplication::Run(Handler handler) {
  try {
    handler();
    return 0;
  } catch (...) {
    HandleException();
    return 1;
  }
}

// Kept out of line: the core patches its entry.
__attribute__((noinline)) void CgiApplication::HandleException() {
  WriteOut("Status: 500 Internal Server Error\r\nContent-Type: text/plain\r\n\r\n" +
           CurrentExceptionMessage() + "\r\n");
}

}  // namespace web
