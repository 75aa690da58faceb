// Putting the report on the clipboard.
#include "crash/core/clipboard_text.h"
#include "crash/core/report_actions.h"
#include "crash/delivery/mail_client_hooks.h"

namespace qor {

bool CopyToClipboard(const std::string& text) {
  // A window of the paused main thread may own the clipboard, and emptying
  // it sends that window a message: let the main thread answer.
  MainThreadRelease main_thread;
  return CopyTextToClipboard(text);
}

}  // namespace qor
