#include "runtime/raise.h"

extern "C" [[noreturn]] void __real___cxa_throw(void* object, std::type_info* type,
                                                void (*destructor)(void*));

// The wrapper that --wrap=__cxa_throw sends every throw to: one jump, which
// leaves the throwing function's return address on top of the stack for
// RaiseError to record.
asm(".text\n"
    ".globl ___wrap___cxa_throw\n"
    ".def ___wrap___cxa_throw; .scl 2; .type 32; .endef\n"
    "___wrap___cxa_throw:\n"
    "  jmp _RaiseError\n");

namespace runtime {
namespace {

thread_local RaiseRecord last_raise;

}  // namespace

RaiseRecord LastRaise() { return last_raise; }

void (*raise_hook)(const RaiseRecord& record) = nullptr;

}  // namespace runtime

extern "C" void RaiseError(void* object, std::type_info* type, void (*destructor)(void*)) {
  runtime::last_raise.type = type;
  runtime::last_raise.address =
      static_cast<uint32_t>(reinterpret_cast<uintptr_t>(__builtin_return_address(0)));
  if (runtime::raise_hook) runtime::raise_hook(runtime::last_raise);
  __real___cxa_throw(object, type, destructor);
}
