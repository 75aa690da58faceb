// A thread for tests that waits until its object goes away (Windows only).
#pragma once

#include <windows.h>

#include <cstdint>

#include "crash/core/win_handle.h"

namespace qor::test {

class WaitingThread {
 public:
  // Unless created suspended, the thread is running when the constructor
  // returns: what the system sets up for a new thread is in place.
  explicit WaitingThread(DWORD flags = 0) {
    thread_.reset(CreateThread(nullptr, 0, Wait, this, flags, &id_));
    if (!(flags & CREATE_SUSPENDED)) WaitForSingleObject(started_.get(), INFINITE);
  }
  WaitingThread(const WaitingThread&) = delete;
  WaitingThread& operator=(const WaitingThread&) = delete;
  ~WaitingThread() {
    SetEvent(end_.get());
    ResumeThread(thread_.get());
    WaitForSingleObject(thread_.get(), INFINITE);
  }

  uint32_t id() const { return id_; }
  HANDLE handle() const { return thread_.get(); }

 private:
  static DWORD WINAPI Wait(void* parameter) {
    auto* self = static_cast<WaitingThread*>(parameter);
    SetEvent(self->started_.get());
    WaitForSingleObject(self->end_.get(), INFINITE);
    return 0;
  }

  OwnedHandle started_{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  OwnedHandle end_{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  OwnedHandle thread_;
  DWORD id_ = 0;
};

}  // namespace qor::test
