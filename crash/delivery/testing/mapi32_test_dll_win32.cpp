// A stand-in for mapi32.dll, placed beside the mail-client test: it records
// what MAPISendMail was given, as text the test reads back, and answers
// what the test told it to.
#include <windows.h>
#include <mapi.h>

#include <string>

namespace {

std::string record;
ULONG answer = SUCCESS_SUCCESS;
void (*during_call)() = nullptr;

std::string Text(const char* text) { return text == nullptr ? "(null)" : text; }

}  // namespace

extern "C" __declspec(dllexport) ULONG WINAPI MAPISendMail(LHANDLE session, ULONG_PTR ui_param,
                                                           lpMapiMessage message, FLAGS flags,
                                                           ULONG reserved) {
  const HWND owner = reinterpret_cast<HWND>(ui_param);
  const bool topmost = owner != nullptr && (GetWindowLongA(owner, GWL_EXSTYLE) & WS_EX_TOPMOST);
  record = "session=" + std::to_string(session) + " flags=" + std::to_string(flags) +
           " reserved=" + std::to_string(reserved) + " owner-topmost=" + (topmost ? "1" : "0") +
           "\nsubject=" + Text(message->lpszSubject) + "\nnote=" + Text(message->lpszNoteText) +
           "\n";
  for (ULONG i = 0; i < message->nRecipCount; ++i) {
    const MapiRecipDesc& r = message->lpRecips[i];
    record += "to class=" + std::to_string(r.ulRecipClass) + " name=" + Text(r.lpszName) +
              " address=" + Text(r.lpszAddress) + "\n";
  }
  for (ULONG i = 0; i < message->nFileCount; ++i) {
    const MapiFileDesc& f = message->lpFiles[i];
    record += "file position=" + std::to_string(f.nPosition) + " path=" + Text(f.lpszPathName) +
              " name=" + Text(f.lpszFileName) + "\n";
  }
  if (during_call != nullptr) during_call();
  return answer;
}

extern "C" __declspec(dllexport) const char* TestMapiRecord() { return record.c_str(); }

extern "C" __declspec(dllexport) void TestMapiAnswer(ULONG result, void (*callback)()) {
  answer = result;
  during_call = callback;
  record.clear();
}
