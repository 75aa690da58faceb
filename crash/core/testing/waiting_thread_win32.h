// A thread for tests that waits until its object goes away (Windows only).
#pragma once

#include <windows.h>

#include <cstdint>

#include "crash/core/win_handle.h"

namespace qor::test {

class WaitingThread {
 public:
  explicit WaitingThread(DWORD flags = 0) : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    thread_.reset(CreateThread(nullptr, 0, Wait, event_.get(), flags, &id_));
  }
  WaitingThread(const WaitingThread&) = delete;
  WaitingThread& operator=(const WaitingThread&) = delete;
  ~WaitingThread() {
    SetEvent(event_.get());
    ResumeThread(thread_.get());
    WaitForSingleObject(thread_.get(), INFINITE);
  }

  uint32_t id() const { return id_; }
  HANDLE handle() const { return thread_.get(); }

 private:
  static DWORD WINAPI Wait(void* event) {
    WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
    return 0;
  }

  OwnedHandle event_;
  OwnedHandle thread_;
  DWORD id_ = 0;
};

}  // namespace qor::test
