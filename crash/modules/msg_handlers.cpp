#include "crash/modules/msg_handlers.h"

#include <algorithm>

namespace qor {
namespace {

bool SameTarget(const MsgHandler& e, MsgProc handler, MsgMethod code, void* data) {
  return e.handler == handler && e.method_code == code && e.method_data == data;
}

bool Uses(const TMsgHandlers& list, uint32_t message) {
  return std::any_of(list.begin(), list.end(),
                     [message](const MsgHandler& e) { return e.message == message; });
}

}  // namespace

uint32_t AddMsgHandler(TMsgHandlers& list, MsgHandler entry) {
  for (const MsgHandler& e : list) {
    if (e.message == entry.message &&
        SameTarget(e, entry.handler, entry.method_code, entry.method_data)) {
      return 0;
    }
  }
  if (entry.message == 0) {
    entry.message = kFirstAllocatedMessage;
    while (Uses(list, entry.message)) ++entry.message;
  }
  list.push_back(entry);
  return entry.message;
}

void DeleteMsgHandlers(TMsgHandlers& list, MsgProc handler, MsgMethod method_code,
                       void* method_data, uint32_t message) {
  for (size_t i = 0; i < list.size();) {
    const MsgHandler& e = list[i];
    if (SameTarget(e, handler, method_code, method_data) &&
        (message == 0 || e.message == message)) {
      list[i] = list.back();
      list.pop_back();
    } else {
      ++i;
    }
  }
}

bool IsDispatchedMessage(uint32_t message) {
  switch (message) {
    case 0x11: case 0x12: case 0x15: case 0x16: case 0x17:
    case 0x1a: case 0x1b: case 0x1c: case 0x1d: case 0x1e:
    case 0x2a: case 0x41: case 0x48: case 0x50: case 0x51: case 0x54: case 0x7e:
      return true;
    default:
      return message >= 0x218;
  }
}

void CallMsgHandlers(const TMsgHandlers& list, void* window, uint32_t message, uintptr_t wparam,
                     intptr_t lparam, intptr_t& result) {
  for (const MsgHandler& e : list) {
    if (e.message != message) continue;
    if (e.handler != nullptr) {
      e.handler(window, message, wparam, result, lparam);
    } else if (e.method_code != nullptr) {
      e.method_code(e.method_data, window, message, result, lparam, wparam);
    }
  }
}

}  // namespace qor
