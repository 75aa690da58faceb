// Ownership of kernel handles and local-heap blocks (Windows only): each
// is released once, by the owner's destructor, on every path. Copying is
// deleted; ownership moves with release().
#pragma once

#include <windows.h>

namespace qor {

// A kernel handle; null is empty (INVALID_HANDLE_VALUE is never stored).
class OwnedHandle {
 public:
  explicit OwnedHandle(HANDLE handle = nullptr)
      : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  ~OwnedHandle() { reset(); }

  HANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  HANDLE release() {
    HANDLE handle = handle_;
    handle_ = nullptr;
    return handle;
  }
  void reset(HANDLE handle = nullptr) {
    if (handle_) CloseHandle(handle_);
    handle_ = handle == INVALID_HANDLE_VALUE ? nullptr : handle;
  }

 private:
  HANDLE handle_;
};

// A block from LocalAlloc.
class OwnedLocal {
 public:
  explicit OwnedLocal(void* block = nullptr) : block_(block) {}
  OwnedLocal(const OwnedLocal&) = delete;
  OwnedLocal& operator=(const OwnedLocal&) = delete;
  ~OwnedLocal() {
    if (block_) LocalFree(block_);
  }

  void* get() const { return block_; }
  void* release() {
    void* block = block_;
    block_ = nullptr;
    return block;
  }

 private:
  void* block_;
};

}  // namespace qor
