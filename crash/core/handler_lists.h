// The program's handlers: exception handlers, asked at three points of
// every request; action handlers, asked before every button or automatic
// action; hidden-exception handlers, told about exceptions that the
// program's own code caught. Each kind has a list of plain routines and a
// list of methods (code and object).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "crash/core/pipeline_hooks.h"

namespace qor {

enum HandlerKind : int32_t { kExceptionHandlers = 0, kActionHandlers = 1, kHiddenHandlers = 2 };

// Where a handler runs.
enum HandlerSync : uint8_t {
  kOnHandlingThread = 0,
  kOnMainThreadOnly = 1,
  kOnMainThreadIfReachable = 2,  // else on the handling thread
};

// Action numbers shared by the dialog, the handlers and the automatic actions.
enum ReportAction : int32_t {
  kActionMail = 0,
  kActionSave,
  kActionPrint,
  kActionShow,
  kActionContinue,
  kActionRestart,
  kActionClose
};

using TExceptHandler = void (*)(bool frozen, uint32_t object, uint32_t address, uint32_t thread_id,
                                std::string& report, TScreenshot& screenshot, bool& can_continue,
                                bool& handled);
using TExceptHandlerOO = void (*)(void* self, bool frozen, uint32_t object, uint32_t address,
                                  uint32_t thread_id, std::string& report, TScreenshot& screenshot,
                                  bool& can_continue, bool& handled);
using TActionHandler = void (*)(int32_t action, bool frozen, uint32_t object, uint32_t address,
                                uint32_t thread_id, std::string& report, TScreenshot& screenshot,
                                bool& handled);
using TActionHandlerOO = void (*)(void* self, int32_t action, bool frozen, uint32_t object,
                                  uint32_t address, uint32_t thread_id, std::string& report,
                                  TScreenshot& screenshot, bool& handled);
using THiddenHandler = void (*)(uint32_t object, uint32_t address, uint32_t thread_id,
                                const std::string& report);
using THiddenHandlerOO = void (*)(void* self, uint32_t object, uint32_t address, uint32_t thread_id,
                                  const std::string& report);

// One entry: the sync byte, the phase byte (0 to 2 for exception handlers,
// 1 for the others), the routine and, for a method, its object.
template <typename Routine>
struct THandlerEntry {
  uint8_t Sync;
  uint8_t Phase;
  Routine Code;
  void* Object;
};

using TDAExceptHandler = std::vector<THandlerEntry<TExceptHandler>>;
using TDAExceptHandlerOO = std::vector<THandlerEntry<TExceptHandlerOO>>;
using TDAActionHandler = std::vector<THandlerEntry<TActionHandler>>;
using TDAActionHandlerOO = std::vector<THandlerEntry<TActionHandlerOO>>;
using TDAHiddenHandler = std::vector<THandlerEntry<THiddenHandler>>;
using TDAHiddenHandlerOO = std::vector<THandlerEntry<THiddenHandlerOO>>;

// Registration. A routine (or code and object) is registered once per
// phase; registering it again changes its sync byte. Safe while a pass
// runs on another thread: passes work on copies.
void RegisterExceptHandler(TExceptHandler handler, uint8_t sync, uint8_t phase);
void RegisterExceptHandler(TExceptHandlerOO code, void* self, uint8_t sync, uint8_t phase);
void RegisterActionHandler(TActionHandler handler, uint8_t sync);
void RegisterActionHandler(TActionHandlerOO code, void* self, uint8_t sync);
void RegisterHiddenHandler(THiddenHandler handler, uint8_t sync);
void RegisterHiddenHandler(THiddenHandlerOO code, void* self, uint8_t sync);
void UnregisterExceptHandler(TExceptHandler handler, uint8_t phase);
void UnregisterExceptHandler(TExceptHandlerOO code, void* self, uint8_t phase);
void UnregisterActionHandler(TActionHandler handler);
void UnregisterActionHandler(TActionHandlerOO code, void* self);
void UnregisterHiddenHandler(THiddenHandler handler);
void UnregisterHiddenHandler(THiddenHandlerOO code, void* self);

// The record of one call of the handlers.
struct TFireHandlersParams {
  int32_t Kind = kExceptionHandlers;
  int32_t Phase = 1;   // exception handlers: 0 to 2; others 1
  int32_t Action = 0;  // action handlers
  bool Frozen = false;
  uint32_t ExceptObject = 0;
  uint32_t ExceptAddress = 0;
  uint32_t ThreadId = 0;
  std::string* Report = nullptr;
  TScreenshot* Screenshot = nullptr;
  bool CanContinue = true;
  bool Handled = false;
  bool MainThreadPass = false;
  bool SecondRound = false;
};

// True when a list of `kind` has entries.
bool HasHandlers(int32_t kind);

// True when an entry of `kind` with the call's phase wants the main thread.
bool WantsMainThread(int32_t kind, int32_t phase);

// One pass over the handlers of the record's kind that are eligible for it
// (see the record's pass flags): method entries first, then, unless
// handled, routine entries. Exception and action handlers stop the pass
// once one sets handled, except in phase 2, after which handled is cleared;
// hidden-exception handlers are all called. A handler that throws or
// faults is skipped.
void RunHandlerPass(TFireHandlersParams& params);

// Set while a pass runs on the main thread: failures of the main thread are
// not reported meanwhile.
extern std::atomic<bool> HandlersOnMainThread;

}  // namespace qor
