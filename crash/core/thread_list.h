// The threads of the current process: listing them, opening one by id and
// reading its state (Windows only).
#pragma once

#include <cstdint>
#include <vector>

namespace qor {

// The ids of all threads of the current process, in the system's order
// (the main thread first); empty when no list can be made. The 9x family
// lists them through Toolhelp, the NT family through the system's process
// list.
std::vector<uint32_t> ListProcessThreads();

// A handle (HANDLE) to thread `id` with `access`, which the caller closes;
// null on failure, with the system's error (on NT 4.0 the status of its
// thread open) as the last error. On a 9x system without OpenThread no
// thread can be opened.
void* OpenThreadById(uint32_t id, uint32_t access);

struct TThreadState {
  uint32_t StackBegin = 0;  // the stack pointer
  uint32_t StackEnd = 0;    // end of the stack pointer's memory region
  uint32_t Frame = 0;       // frame pointer
  uint32_t Instruction = 0;
  int32_t Priority = 0;     // 0 when it cannot be read
  bool Suspended = false;   // another thread, suspended before the call
};

// The state of thread `id` (the current one too); false when its context
// cannot be read. The thread should be held still (paused or suspended)
// for the stack and registers to mean anything.
bool ThreadState(uint32_t id, TThreadState& state);

}  // namespace qor
