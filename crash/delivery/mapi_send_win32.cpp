#include <windows.h>
#include <mapi.h>

#include <string>
#include <vector>

#include "crash/delivery/library_win32.h"
#include "crash/delivery/mail_client.h"
#include "crash/delivery/mail_client_hooks.h"
#include "crash/delivery/mapi_request.h"

namespace qor {
namespace {

constexpr ULONG kNoPosition = 0xffffffff;

// A topmost owner window steps back for the duration, so that the mail
// program's windows can come to the front.
class NotTopmost {
 public:
  explicit NotTopmost(HWND window)
      : window_(window),
        was_topmost_(window != nullptr &&
                     (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0) {
    if (was_topmost_) SetTopmost(HWND_NOTOPMOST);
  }
  NotTopmost(const NotTopmost&) = delete;
  NotTopmost& operator=(const NotTopmost&) = delete;
  ~NotTopmost() {
    if (was_topmost_) SetTopmost(HWND_TOPMOST);
  }

 private:
  void SetTopmost(HWND order) {
    SetWindowPos(window_, order, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  }

  HWND window_;
  bool was_topmost_;
};

// MAPI takes non-const strings; these point into buffers that outlive the
// call.
LPSTR Text(std::string& text) { return text.data(); }

LPMAPISENDMAIL FindSendMail() {
  // Once loaded, MAPI stays: some mail programs do not survive an unload.
  static const HMODULE mapi = LoadLibraryA("mapi32.dll");
  return ProcAddress<LPMAPISENDMAIL>(mapi, "MAPISendMail");
}

}  // namespace

int MapiSendReport(std::string_view recipients, std::string_view subject, std::string_view body,
                   bool silent, void* owner_window, std::string_view attachments) {
  if (LoaderLockHeld()) return kMapiNotSent;
  const LPMAPISENDMAIL send_mail = FindSendMail();
  if (send_mail == nullptr) return kMapiNotSent;

  MapiRequest request = PrepareMapiRequest(recipients, attachments, silent);
  std::vector<MapiRecipDesc> recips(request.recipients.size());
  for (size_t i = 0; i < recips.size(); ++i) {
    recips[i].ulRecipClass = MAPI_TO;
    recips[i].lpszName = Text(request.recipients[i].name);
    recips[i].lpszAddress = Text(request.recipients[i].address);
  }
  std::vector<MapiFileDesc> files(request.files.size());
  for (size_t i = 0; i < files.size(); ++i) {
    files[i].nPosition = kNoPosition;
    files[i].lpszPathName = Text(request.files[i]);
  }
  std::string subject_text(subject);
  std::string body_text(body);
  MapiMessage message{};
  message.lpszSubject = Text(subject_text);
  message.lpszNoteText = Text(body_text);
  message.nRecipCount = static_cast<ULONG>(recips.size());
  message.lpRecips = recips.empty() ? nullptr : recips.data();
  message.nFileCount = static_cast<ULONG>(files.size());
  message.lpFiles = files.empty() ? nullptr : files.data();

  const HWND owner = static_cast<HWND>(owner_window);
  const NotTopmost step_back(owner);
  // The mail program may need the application's message loop.
  const MainThreadRelease release;
  const ULONG result =
      send_mail(0, reinterpret_cast<ULONG_PTR>(owner), &message, request.flags, 0);
  if (result == SUCCESS_SUCCESS) return kMapiSent;
  return result == MAPI_USER_ABORT ? kMapiCancelled : kMapiNotSent;
}

}  // namespace qor
