#include "crash/modules/guarded_call.h"

#include <windows.h>

#include <exception>

namespace qor {
namespace {

// The registration record comes first: the system hands the handler the
// record's address, which is then the frame's address too.
struct GuardFrame {
  EXCEPTION_REGISTRATION_RECORD record;
  void* resume[5];  // __builtin_setjmp's buffer
  GuardedFault fault;
};

EXCEPTION_REGISTRATION_RECORD* ChainHead() {
  EXCEPTION_REGISTRATION_RECORD* head;
  asm volatile("movl %%fs:0, %0" : "=r"(head));
  return head;
}

void SetChainHead(EXCEPTION_REGISTRATION_RECORD* head) {
  asm volatile("movl %0, %%fs:0" : : "r"(head) : "memory");
}

bool IsProcessorFault(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_FLT_UNDERFLOW:
    case EXCEPTION_STACK_OVERFLOW:
    case EXCEPTION_GUARD_PAGE:
      return true;
    default:
      return false;
  }
}

// Software exceptions (a debugger's, a thread name, another runtime's) and
// the calls of an unwind pass go on to the next handler. For a fault the
// frames above the guard are unwound (their own handlers learn that they
// are left), and execution jumps back into GuardedCall.
EXCEPTION_DISPOSITION __cdecl OnFault(EXCEPTION_RECORD* record, void* established, CONTEXT*,
                                      void*) {
  constexpr DWORD kNotForUs = EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND | EXCEPTION_NESTED_CALL;
  if ((record->ExceptionFlags & kNotForUs) || !IsProcessorFault(record->ExceptionCode)) {
    return ExceptionContinueSearch;
  }
  auto* frame = static_cast<GuardFrame*>(established);
  frame->fault.code = record->ExceptionCode;
  frame->fault.address =
      static_cast<uint32_t>(reinterpret_cast<uintptr_t>(record->ExceptionAddress));
  RtlUnwind(established, nullptr, record, nullptr);
  __builtin_longjmp(frame->resume, 1);
}

// The body with its C++ exceptions caught, so that none ever unwinds
// through the registration frame (the C++ unwinder knows nothing of it).
struct Body {
  void (*fn)(void*);
  void* arg;
  std::exception_ptr error;
};

__attribute__((noinline)) void RunCatching(Body& body) noexcept {
  try {
    body.fn(body.arg);
  } catch (...) {
    body.error = std::current_exception();
  }
}

// The frame's registers are restored by the jump back, so nothing here may
// depend on values held in registers across the call.
__attribute__((noinline)) bool RunInFrame(Body& body, GuardFrame& frame) {
  frame.record.Next = ChainHead();
  frame.record.Handler = reinterpret_cast<PEXCEPTION_ROUTINE>(OnFault);
  if (__builtin_setjmp(frame.resume) != 0) {
    SetChainHead(frame.record.Next);
    return false;
  }
  SetChainHead(&frame.record);
  RunCatching(body);
  SetChainHead(frame.record.Next);
  return true;
}

}  // namespace

bool GuardedCall(void (*fn)(void*), void* arg, GuardedFault* fault) {
  Body body{fn, arg, nullptr};
  GuardFrame frame{};
  const bool returned = RunInFrame(body, frame);
  if (!returned) {
    if (fault) *fault = frame.fault;
    return false;
  }
  if (body.error) std::rethrow_exception(body.error);
  return true;
}

}  // namespace qor
