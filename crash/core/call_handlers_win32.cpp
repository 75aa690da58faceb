#include "crash/core/call_handlers.h"

#include <windows.h>

#include "crash/core/settings.h"
#include "crash/modules/msg_handler_window.h"

namespace qor {
namespace {

constexpr DWORD kProbeMilliseconds = 1500;
constexpr DWORD kPassMilliseconds = 0x7FFFFFFE;
constexpr WPARAM kProbe = 1;
constexpr WPARAM kRunPass = 0;

// The main thread's handler window and the registered message; 0 when there
// is none (then no handler runs on the main thread).
HWND handler_window = nullptr;
uint32_t handler_message = 0;

// The main thread's side: wait at the pause point, then run the pass the
// record asks for.
void AnswerHandlerCall(void*, uint32_t, uintptr_t wparam, intptr_t& result, intptr_t lparam) {
  PauseAtMessageLoop();
  if (wparam == kRunPass && lparam != 0) {
    HandlersOnMainThread = true;
    RunHandlerPass(*reinterpret_cast<TFireHandlersParams*>(lparam));
    HandlersOnMainThread = false;
  }
  result = kHandlerCallAnswer;
}

bool Send(WPARAM wparam, LPARAM lparam, DWORD limit) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutA(handler_window, handler_message, wparam, lparam, SMTO_NORMAL, limit,
                             &result) != 0 &&
         static_cast<intptr_t>(result) == kHandlerCallAnswer;
}

// Runs the pass on the main thread; false when it could not be reached.
bool PassOnMainThread(TFireHandlersParams& params) {
  const bool released = ExceptSettings.PauseRunningThreads && ReleaseMainThread();
  const bool done = Send(kProbe, 0, kProbeMilliseconds) &&
                    Send(kRunPass, reinterpret_cast<LPARAM>(&params), kPassMilliseconds);
  if (released) HoldMainThread();
  return done;
}

}  // namespace

void PostHandlerCallProbe() {
  if (handler_window != nullptr) PostMessageA(handler_window, handler_message, kProbe, 0);
}

void InstallHandlerCallMessage() {
  if (handler_message != 0) return;
  handler_message = AddMsgHandlerProc(AnswerHandlerCall, 0);
  handler_window = handler_message ? static_cast<HWND>(FindMsgHandlerWindow()) : nullptr;
}

void RemoveHandlerCallMessage() {
  if (handler_message == 0) return;
  DeleteMsgHandlerProc(AnswerHandlerCall, handler_message);
  handler_message = 0;
  handler_window = nullptr;
}

void CallHandlers(int32_t kind, int32_t phase, int32_t action, bool& handled, bool& can_continue,
                  TScreenshot& screenshot, std::string& report, uint32_t thread_id,
                  uint32_t address, uint32_t object, bool frozen) {
  if (!HasHandlers(kind)) return;
  TFireHandlersParams params;
  params.Kind = kind;
  params.Phase = phase;
  params.Action = action;
  params.Frozen = frozen;
  params.ExceptObject = object;
  params.ExceptAddress = address;
  params.ThreadId = thread_id;
  params.Report = &report;
  params.Screenshot = &screenshot;
  params.CanContinue = can_continue;
  params.Handled = handled;
  RunHandlerPass(params);
  if (!params.Handled && handler_window != nullptr && WantsMainThread(kind, phase)) {
    params.MainThreadPass = true;
    // A frozen main thread cannot be asked.
    if (frozen || !PassOnMainThread(params)) {
      params.SecondRound = true;
      RunHandlerPass(params);
    }
  }
  can_continue = params.CanContinue;
  handled = params.Handled;
}

}  // namespace qor
