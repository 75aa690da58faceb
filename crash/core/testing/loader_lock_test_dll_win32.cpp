// A library whose start-up asks whether its thread owns the loader lock.
// When the test has made the event "qorLoaderLockTestEntered", the start-up
// also signals it and waits for "qorLoaderLockTestLeave", holding the lock
// meanwhile.
#include <windows.h>

#include "crash/core/loader_lock.h"

namespace {

bool owned_at_start = false;

void WaitWhileTestAsks() {
  HANDLE entered = OpenEventA(EVENT_MODIFY_STATE, FALSE, "qorLoaderLockTestEntered");
  HANDLE leave = OpenEventA(SYNCHRONIZE, FALSE, "qorLoaderLockTestLeave");
  if (entered && leave) {
    SetEvent(entered);
    WaitForSingleObject(leave, 10000);
  }
  if (entered) CloseHandle(entered);
  if (leave) CloseHandle(leave);
}

}  // namespace

extern "C" __declspec(dllexport) int OwnedAtStart() {
  return owned_at_start ? 1 : 0;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    owned_at_start = qor::CurrentThreadOwnsLoaderLock();
    WaitWhileTestAsks();
  }
  return TRUE;
}
