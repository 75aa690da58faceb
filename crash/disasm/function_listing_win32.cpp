// The listing over the current process, for the report core's hook.
#include <windows.h>

#include <cstdlib>
#include <exception>

#include "crash/disasm/function_listing.h"
#include "crash/disasm/function_listing_win32.h"
#include "crash/disasm/function_noreturn.h"
#include "crash/modules/safe_read.h"
#include "runtime/raise.h"

extern "C" void __cxa_rethrow();
extern "C" void _Unwind_Resume(void*);

namespace qor {
namespace {

template <typename F>
uint32_t AddressOf(F* function) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(function));
}

bool LiveListing(uint32_t start, std::string& text, uint32_t mark, TFunctionInfo& info,
                 bool labels, int32_t limit) {
  const LiveMemory memory;
  return FunctionListing(memory, OwnRoutines(), start, text, info, {mark, labels, limit});
}

}  // namespace

const SpecialRoutines& OwnRoutines() {
  static const SpecialRoutines routines = [] {
    const NamedAddress candidates[] = {
        {"RaiseError", AddressOf(&RaiseError)},
        {"abort", AddressOf(&std::abort)},
        {"exit", AddressOf(&std::exit)},
        {"_exit", AddressOf(&_exit)},
        {"_ZSt9terminatev", AddressOf(&std::terminate)},
        {"__cxa_rethrow", AddressOf(&__cxa_rethrow)},
        {"_Unwind_Resume", AddressOf(&_Unwind_Resume)},
        {"ExitProcess", AddressOf(&ExitProcess)},
        {"ExitThread", AddressOf(&ExitThread)},
    };
    SpecialRoutines own;
    own.never_return = NeverReturningAddresses(candidates);
    return own;
  }();
  return routines;
}

void InstallFunctionListing() { disassembler_hook = LiveListing; }

}  // namespace qor
