// Calling the program's handlers from the handling thread, with a pass on
// the main thread by message where handlers ask for it, and keeping the
// program's threads still at their message loops while a request is
// handled (Windows only).
#pragma once

#include <cstdint>
#include <string>

#include "crash/core/handler_lists.h"

namespace qor {

// Runs the handlers of `kind` for one call and hands back what they
// changed. Returns at once, sending nothing, when no handler of the kind is
// registered. Handlers that want the main thread run there through the
// handler-call message (a 1500 ms probe first); when that fails, those
// that allow it run on this thread in a second round.
void CallHandlers(int32_t kind, int32_t phase, int32_t action, bool& handled, bool& can_continue,
                  TScreenshot& screenshot, std::string& report, uint32_t thread_id,
                  uint32_t address, uint32_t object, bool frozen);

// Start-up, on the main thread: registers the handler-call message with the
// main thread's message-handler window. Shut-down: unregisters it.
void InstallHandlerCallMessage();
void RemoveHandlerCallMessage();

// On: the other tracked threads of the program, and the main thread, wait
// at their next message retrieval; off: they go on.
void PauseProgramThreads(bool on);

// The pause point at the start of every hooked message retrieval.
void PauseAtMessageLoop();

// Lets the paused main thread run; true when it was paused.
bool ReleaseMainThread();
// Pauses it again at its next message retrieval.
void HoldMainThread();

// Shut-down: the message-retrieval hooks go, the pause events are signalled
// and closed (no thread stays paused).
void EndPausing();

// Answers of the main thread's side of the handler-call message.
inline constexpr intptr_t kHandlerCallAnswer = 777;

}  // namespace qor
