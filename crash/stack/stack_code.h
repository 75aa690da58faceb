// Questions the stack walker asks about the machine code around a
// candidate return address.
#pragma once

#include <cstdint>

#include "crash/stack/stack_context.h"

namespace qor {

// True when the bytes before `address` end with a call: a direct call, an
// indirect call of 2, 3, 4, 6 or 7 bytes, or a far call. False when those
// bytes cannot be read.
bool FollowsCallInstruction(const MemoryReader& memory, uint32_t address);

// For a module without debug information: the function that most likely
// holds `address`, the highest export below it or the module's entry point
// when that is higher, registered as approved. -1 when there is none.
int32_t NearestExportBelow(const StackTraceContext& context, int32_t module, uint32_t address);

// True when a code area of `function` holds the byte before `address`, so
// that `address` may be a return address inside it. False for -1 or a
// rejected function.
bool AddressInFunctionAreas(int32_t function, uint32_t address);

// Where a call site lies that explains an item.
struct CallSite {
  uint32_t code = 0;    // the call instruction, or the current instruction
  uint32_t target = 0;  // what was called, when known
  bool has_target = false;
};

// Finds in `function` the instruction that ends at `address`: for a return
// address the call before it, for the top item (`top`) the current
// instruction. For the top item, `before` (0: none) is the address the
// thread stopped at: when a call ending there went to a routine that raises
// ("@RaiseExcept" or "Error" in its name), that call is the site and
// `address` becomes its return address. False for -1, a rejected function,
// or no such instruction.
bool LocateCallSite(const StackTraceContext& context, int32_t function, uint32_t before,
                    uint32_t& address, bool top, CallSite& site);

}  // namespace qor
