// Putting the report on the clipboard.
#include <windows.h>

#include <cstring>

#include "crash/core/report_actions.h"
#include "crash/delivery/mail_client_hooks.h"

namespace qor {
namespace {

// An open clipboard, closed on every path.
class OpenClipboardScope {
 public:
  OpenClipboardScope() : open_(OpenClipboard(nullptr) != 0) {}
  OpenClipboardScope(const OpenClipboardScope&) = delete;
  OpenClipboardScope& operator=(const OpenClipboardScope&) = delete;
  ~OpenClipboardScope() {
    if (open_) CloseClipboard();
  }
  bool open() const { return open_; }

 private:
  bool open_;
};

bool PutText(const std::string& text) {
  OpenClipboardScope clipboard;
  if (!clipboard.open()) return false;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, text.size() + 1);
  if (!block) return false;
  void* bytes = GlobalLock(block);
  if (bytes) {
    std::memcpy(bytes, text.c_str(), text.size() + 1);
    GlobalUnlock(block);
  }
  // The clipboard owns the block once it took it.
  if (bytes && SetClipboardData(CF_TEXT, block)) return true;
  GlobalFree(block);
  return false;
}

}  // namespace

bool CopyToClipboard(const std::string& text) {
  // A window of the paused main thread may own the clipboard, and emptying
  // it sends that window a message: let the main thread answer.
  MainThreadRelease main_thread;
  {
    OpenClipboardScope clipboard;
    if (!clipboard.open() || !EmptyClipboard()) return false;
  }
  return PutText(text);
}

}  // namespace qor
