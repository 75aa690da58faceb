#include "crash/core/handler_lists.h"

#include <algorithm>

#include "crash/modules/guarded_call.h"

namespace qor {
namespace {

// Registration and the copies that passes take are short: a spin lock is
// enough and needs no start-up (handlers may be registered from static
// constructors of any order).
std::atomic_flag lists_lock = ATOMIC_FLAG_INIT;

class ListsGuard {
 public:
  ListsGuard() {
    while (lists_lock.test_and_set(std::memory_order_acquire)) {
    }
  }
  ListsGuard(const ListsGuard&) = delete;
  ListsGuard& operator=(const ListsGuard&) = delete;
  ~ListsGuard() { lists_lock.clear(std::memory_order_release); }
};

struct HandlerLists {
  TDAExceptHandler except;
  TDAExceptHandlerOO except_oo;
  TDAActionHandler action;
  TDAActionHandlerOO action_oo;
  TDAHiddenHandler hidden;
  TDAHiddenHandlerOO hidden_oo;
};

// Never destroyed: catch blocks in the destructors of other static objects
// still reach the hidden-exception hook, which asks for the lists.
HandlerLists& Lists() {
  static HandlerLists* lists = new HandlerLists;
  return *lists;
}

template <typename Routine>
void Register(std::vector<THandlerEntry<Routine>>& list, Routine code, void* self, uint8_t sync,
              uint8_t phase) {
  if (code == nullptr) return;
  ListsGuard guard;
  for (auto& entry : list) {
    if (entry.Code == code && entry.Object == self && entry.Phase == phase) {
      entry.Sync = sync;
      return;
    }
  }
  list.push_back({sync, phase, code, self});
}

template <typename Routine>
void Unregister(std::vector<THandlerEntry<Routine>>& list, Routine code, void* self,
                uint8_t phase) {
  ListsGuard guard;
  std::erase_if(list, [&](const THandlerEntry<Routine>& entry) {
    return entry.Code == code && entry.Object == self && entry.Phase == phase;
  });
}

template <typename Routine>
bool Eligible(const THandlerEntry<Routine>& entry, const TFireHandlersParams& params) {
  if ((entry.Sync != kOnHandlingThread) != params.MainThreadPass) return false;
  if (params.SecondRound && entry.Sync != kOnMainThreadIfReachable) return false;
  return params.Kind != kExceptionHandlers || entry.Phase == params.Phase;
}

// Calls one handler; a throw or a fault inside it is swallowed.
template <typename Call>
void CallSafely(Call&& call) {
  try {
    Guarded(call);
  } catch (...) {
  }
}

bool StopsPass(const TFireHandlersParams& params) {
  if (params.Kind == kHiddenHandlers) return false;
  return params.Handled && !(params.Kind == kExceptionHandlers && params.Phase == 2);
}

void CallEntry(const THandlerEntry<TExceptHandler>& e, TFireHandlersParams& p) {
  CallSafely([&] {
    e.Code(p.Frozen, p.ExceptObject, p.ExceptAddress, p.ThreadId, *p.Report, *p.Screenshot,
           p.CanContinue, p.Handled);
  });
}
void CallEntry(const THandlerEntry<TExceptHandlerOO>& e, TFireHandlersParams& p) {
  CallSafely([&] {
    e.Code(e.Object, p.Frozen, p.ExceptObject, p.ExceptAddress, p.ThreadId, *p.Report,
           *p.Screenshot, p.CanContinue, p.Handled);
  });
}
void CallEntry(const THandlerEntry<TActionHandler>& e, TFireHandlersParams& p) {
  CallSafely([&] {
    e.Code(p.Action, p.Frozen, p.ExceptObject, p.ExceptAddress, p.ThreadId, *p.Report,
           *p.Screenshot, p.Handled);
  });
}
void CallEntry(const THandlerEntry<TActionHandlerOO>& e, TFireHandlersParams& p) {
  CallSafely([&] {
    e.Code(e.Object, p.Action, p.Frozen, p.ExceptObject, p.ExceptAddress, p.ThreadId, *p.Report,
           *p.Screenshot, p.Handled);
  });
}
void CallEntry(const THandlerEntry<THiddenHandler>& e, TFireHandlersParams& p) {
  CallSafely([&] { e.Code(p.ExceptObject, p.ExceptAddress, p.ThreadId, *p.Report); });
}
void CallEntry(const THandlerEntry<THiddenHandlerOO>& e, TFireHandlersParams& p) {
  CallSafely([&] { e.Code(e.Object, p.ExceptObject, p.ExceptAddress, p.ThreadId, *p.Report); });
}

template <typename Entries>
void CallEligible(const Entries& entries, TFireHandlersParams& params) {
  for (const auto& entry : entries) {
    if (!Eligible(entry, params)) continue;
    CallEntry(entry, params);
    if (StopsPass(params)) return;
  }
}

template <typename Methods, typename Routines>
void RunLists(const Methods& methods_list, const Routines& routines_list,
              TFireHandlersParams& params) {
  Methods methods;
  Routines routines;
  {
    ListsGuard guard;
    methods = methods_list;
    routines = routines_list;
  }
  CallEligible(methods, params);
  if (!StopsPass(params)) CallEligible(routines, params);
}

template <typename Entries>
bool AnyWantsMainThread(const Entries& entries, int32_t kind, int32_t phase) {
  return std::any_of(entries.begin(), entries.end(), [&](const auto& entry) {
    return entry.Sync != kOnHandlingThread && (kind != kExceptionHandlers || entry.Phase == phase);
  });
}

}  // namespace

std::atomic<bool> HandlersOnMainThread{false};

void RegisterExceptHandler(TExceptHandler handler, uint8_t sync, uint8_t phase) {
  Register(Lists().except, handler, nullptr, sync, phase);
}
void RegisterExceptHandler(TExceptHandlerOO code, void* self, uint8_t sync, uint8_t phase) {
  Register(Lists().except_oo, code, self, sync, phase);
}
void RegisterActionHandler(TActionHandler handler, uint8_t sync) {
  Register(Lists().action, handler, nullptr, sync, 1);
}
void RegisterActionHandler(TActionHandlerOO code, void* self, uint8_t sync) {
  Register(Lists().action_oo, code, self, sync, 1);
}
void RegisterHiddenHandler(THiddenHandler handler, uint8_t sync) {
  Register(Lists().hidden, handler, nullptr, sync, 1);
}
void RegisterHiddenHandler(THiddenHandlerOO code, void* self, uint8_t sync) {
  Register(Lists().hidden_oo, code, self, sync, 1);
}
void UnregisterExceptHandler(TExceptHandler handler, uint8_t phase) {
  Unregister(Lists().except, handler, nullptr, phase);
}
void UnregisterExceptHandler(TExceptHandlerOO code, void* self, uint8_t phase) {
  Unregister(Lists().except_oo, code, self, phase);
}
void UnregisterActionHandler(TActionHandler handler) {
  Unregister(Lists().action, handler, nullptr, 1);
}
void UnregisterActionHandler(TActionHandlerOO code, void* self) {
  Unregister(Lists().action_oo, code, self, 1);
}
void UnregisterHiddenHandler(THiddenHandler handler) {
  Unregister(Lists().hidden, handler, nullptr, 1);
}
void UnregisterHiddenHandler(THiddenHandlerOO code, void* self) {
  Unregister(Lists().hidden_oo, code, self, 1);
}

bool HasHandlers(int32_t kind) {
  const HandlerLists& lists = Lists();
  ListsGuard guard;
  switch (kind) {
    case kExceptionHandlers:
      return !lists.except.empty() || !lists.except_oo.empty();
    case kActionHandlers:
      return !lists.action.empty() || !lists.action_oo.empty();
    default:
      return !lists.hidden.empty() || !lists.hidden_oo.empty();
  }
}

bool WantsMainThread(int32_t kind, int32_t phase) {
  const HandlerLists& lists = Lists();
  ListsGuard guard;
  switch (kind) {
    case kExceptionHandlers:
      return AnyWantsMainThread(lists.except, kind, phase) ||
             AnyWantsMainThread(lists.except_oo, kind, phase);
    case kActionHandlers:
      return AnyWantsMainThread(lists.action, kind, phase) ||
             AnyWantsMainThread(lists.action_oo, kind, phase);
    default:
      return AnyWantsMainThread(lists.hidden, kind, phase) ||
             AnyWantsMainThread(lists.hidden_oo, kind, phase);
  }
}

void RunHandlerPass(TFireHandlersParams& params) {
  const HandlerLists& lists = Lists();
  switch (params.Kind) {
    case kExceptionHandlers:
      RunLists(lists.except_oo, lists.except, params);
      break;
    case kActionHandlers:
      RunLists(lists.action_oo, lists.action, params);
      break;
    default:
      RunLists(lists.hidden_oo, lists.hidden, params);
      break;
  }
  if (params.Kind == kExceptionHandlers && params.Phase == 2) params.Handled = false;
}

}  // namespace qor
