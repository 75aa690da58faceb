#include "runtime/thread.h"

#include <windows.h>

namespace runtime {

void (*execute_wrapper)(TThread& thread) = nullptr;

TThread::~TThread() {
  Terminate();
  WaitFor();
  if (handle_) CloseHandle(handle_);
}

// Not inlined, so that its return address is the creator's code.
__attribute__((noinline)) bool TThread::Start() {
  if (handle_) return false;
  creator_address_ = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(__builtin_return_address(0)));
  DWORD id = 0;
  handle_ = CreateThread(nullptr, 0, &TThread::ThreadRoutine, this, 0, &id);
  if (handle_ == nullptr) return false;
  thread_id_ = id;
  return true;
}

void TThread::WaitFor() {
  if (handle_) WaitForSingleObject(handle_, INFINITE);
}

unsigned long __stdcall TThread::ThreadRoutine(void* object) {
  TThread& thread = *static_cast<TThread*>(object);
  if (execute_wrapper) {
    execute_wrapper(thread);
    return 0;
  }
  // Nothing may unwind into the system's thread start.
  try {
    thread.Execute();
  } catch (...) {
    thread.fatal_exception_ = std::current_exception();
  }
  return 0;
}

}  // namespace runtime
