// A hidden window per thread that passes system notifications and private
// messages to registered handlers, so that code without a form of its own
// can react to window messages (Windows only).
#pragma once

#include <cstdint>

#include "crash/modules/msg_handlers.h"

namespace qor {

// Registers `handler` for `message` on the window of `thread` (0: the
// calling thread). A message of 0 allocates a private number from 1024 up.
// The calling thread's window is created on first use; another thread's
// window is never created. Returns the message number, or 0 when the same
// entry is already there or the window does not exist and cannot be made.
uint32_t AddMsgHandlerProc(MsgProc handler, uint32_t message, uint32_t thread = 0);

// As AddMsgHandlerProc, for `code` called with `object` first.
uint32_t AddMsgHandlerMethod(MsgMethod code, void* object, uint32_t message, uint32_t thread = 0);

// Removes the handler's entries for `message` (any message when 0). When the
// thread's list becomes empty its window is destroyed: at once in its own
// thread, by WM_CLOSE when called from another thread.
void DeleteMsgHandlerProc(MsgProc handler, uint32_t message, uint32_t thread = 0);
void DeleteMsgHandlerMethod(MsgMethod code, void* object, uint32_t message, uint32_t thread = 0);

// The window (HWND) of `thread`, 0 for the calling thread; nullptr when it
// has none.
void* FindMsgHandlerWindow(uint32_t thread = 0);

}  // namespace qor
