// The handler list of a message-handler window: which routines want which
// window messages. Pure list logic; the window itself lives in
// msg_handler_window.h.
#pragma once

#include <cstdint>
#include <vector>

namespace qor {

// A plain handler: (window, message, wParam, result, lParam). It may change
// the result that the window procedure returns.
using MsgProc = void (*)(void* window, uint32_t message, uintptr_t wparam, intptr_t& result,
                         intptr_t lparam);
// A method: its object first, then (window, message, result, lParam, wParam).
using MsgMethod = void (*)(void* object, void* window, uint32_t message, intptr_t& result,
                           intptr_t lparam, uintptr_t wparam);

struct MsgHandler {
  uint32_t message = 0;
  MsgProc handler = nullptr;         // used when set
  MsgMethod method_code = nullptr;   // otherwise the method
  void* method_data = nullptr;
};

using TMsgHandlers = std::vector<MsgHandler>;

// Numbers that message 0 allocates start here (the first private message).
inline constexpr uint32_t kFirstAllocatedMessage = 1024;

// Appends `entry` and returns its message number; a message of 0 takes the
// first number from 1024 up that the list does not use. 0 when an identical
// entry is already there.
uint32_t AddMsgHandler(TMsgHandlers& list, MsgHandler entry);

// Removes every entry with this handler and method and with `message` (any
// message when 0). Order is not kept: the last entry fills each gap.
void DeleteMsgHandlers(TMsgHandlers& list, MsgProc handler, MsgMethod method_code,
                       void* method_data, uint32_t message);

// True for the messages a handler window passes on: system-wide
// notifications (session end, settings, colours, fonts, power, display) and
// everything from 0x218 up, which includes the allocated numbers.
bool IsDispatchedMessage(uint32_t message);

// Calls every entry of `list` registered for `message`.
void CallMsgHandlers(const TMsgHandlers& list, void* window, uint32_t message, uintptr_t wparam,
                     intptr_t lparam, intptr_t& result);

}  // namespace qor
