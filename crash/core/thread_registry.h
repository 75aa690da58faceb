// The thread registry: names, classes and creators of the process's
// threads, in memory shared by every module of the process that carries
// the core, so that a report made by any of them names every thread
// (Windows only). Threads named "-" (the core's own) are left out of
// reports.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "crash/core/thread_entry.h"

namespace qor {

// "qorExceptThreadNameBuf" followed by the process id as "$" and hex digits.
std::string ThreadRegistryName(uint32_t process_id);

// Start-up: creates this process's block, or joins the one another module
// created, and fixes the main thread id. When the block exists but cannot
// be used (the name belongs to another object, or to a mapping that is no
// registry), or cannot be mapped, a message box says "internal error" and
// the process ends with exit code 0. Joining twice does nothing.
void JoinThreadRegistry();

// Shutdown: the last module to leave frees every entry and closes the
// block's handles; every module unmaps its view.
void LeaveThreadRegistry();

// The block this module joined, or null: the freeze watchdog owns its
// watchdog mutex.
ThreadNameBlock* ThreadRegistryBlock();

// The main thread: the first thread the system lists when the block was
// created, the oldest entry when it was joined, or the thread that joined
// when neither says; 0 before joining.
uint32_t MainThreadId();

// Registers what is known of thread `id`; `handle` (HANDLE, not taken) may
// be null, then the thread is opened by id. What the call leaves empty is
// kept from the thread's previous entry, unless that entry's thread has
// ended (the id was reused). An empty name without a creator address
// removes the entry. Each call also removes one entry of an ended thread.
// Without a block, nothing happens.
void RegisterThreadInfo(uint32_t id, void* handle, std::string_view name,
                        uint32_t creator_thread = 0, uint32_t creator_address = 0,
                        std::string_view class_name = {});

// Removes the entry of thread `id`.
inline void UnregisterThread(uint32_t id) { RegisterThreadInfo(id, nullptr, {}); }

// Names thread `id`; with a debugger attached, the debugger is told as
// well through its thread-naming exception.
void SetThreadDisplayName(uint32_t id, std::string_view name);

struct TThreadCaption {
  std::string Caption;  // empty for a hidden thread
  uint32_t CreatorAddress = 0;
  uint32_t CreatorThread = 0;
};

// The caption of thread `id` for reports (see ComposeThreadCaption); with
// `force`, hidden threads get one too. Waits at most 50 ms for the list:
// after that the caption is "thread" and the id.
TThreadCaption ThreadCaption(uint32_t id, bool force);

// True when the registry knows where thread `id` was created and that
// address lies in a module with valid debug information.
bool IsOwnTrackedThread(uint32_t id);

// The debuggers' thread-naming exception.
inline constexpr uint32_t kThreadNamingException = 0x406D1388;

// Takes the parameters of a thread-naming exception (type 0x1000, address
// of the name, thread id or -1 for the current thread, flags 0) as a
// naming request: the name, read safely and at most kMaxEntryText
// characters, is registered; an unreadable name registers nothing. False
// when the parameters are no naming request.
bool TakeThreadNamingRequest(const uint32_t* parameters, uint32_t count);

}  // namespace qor
