#include "crash/core/clipboard_text.h"

#include <windows.h>

#include <cstring>

namespace qor {
namespace {

// Global memory until the clipboard takes it over.
class OwnedGlobal {
 public:
  explicit OwnedGlobal(size_t size) : memory_(GlobalAlloc(GMEM_MOVEABLE, size)) {}
  OwnedGlobal(const OwnedGlobal&) = delete;
  OwnedGlobal& operator=(const OwnedGlobal&) = delete;
  ~OwnedGlobal() {
    if (memory_) GlobalFree(memory_);
  }
  HGLOBAL get() const { return memory_; }
  void release() { memory_ = nullptr; }

 private:
  HGLOBAL memory_;
};

// A hidden window of the calling thread, destroyed with this object: the
// clipboard's owner. With no owner at all, Windows refuses SetClipboardData.
class OwnerWindow {
 public:
  OwnerWindow()
      : window_(CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                                nullptr)) {}
  OwnerWindow(const OwnerWindow&) = delete;
  OwnerWindow& operator=(const OwnerWindow&) = delete;
  ~OwnerWindow() {
    if (window_) DestroyWindow(window_);
  }
  HWND get() const { return window_; }

 private:
  HWND window_;
};

// The clipboard, open for its lifetime.
class OpenedClipboard {
 public:
  explicit OpenedClipboard(HWND owner) : open_(owner && OpenClipboard(owner) != FALSE) {}
  OpenedClipboard(const OpenedClipboard&) = delete;
  OpenedClipboard& operator=(const OpenedClipboard&) = delete;
  ~OpenedClipboard() {
    if (open_) CloseClipboard();
  }
  bool open() const { return open_; }

 private:
  bool open_;
};

}  // namespace

bool CopyTextToClipboard(std::string_view text) {
  OwnedGlobal memory(text.size() + 1);
  if (!memory.get()) return false;
  auto* copy = static_cast<char*>(GlobalLock(memory.get()));
  if (copy == nullptr) return false;
  std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = 0;
  GlobalUnlock(memory.get());
  const OwnerWindow owner;
  const OpenedClipboard clipboard(owner.get());
  if (!clipboard.open() || !EmptyClipboard()) return false;
  if (!SetClipboardData(CF_TEXT, memory.get())) return false;
  memory.release();  // the clipboard owns it now
  return true;
}

}  // namespace qor
