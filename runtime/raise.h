// The program's raise routine. Every `throw` reaches it: the program links
// with --wrap=__cxa_throw, and the wrapper is a plain jump here. It records
// what was thrown and where before the C++ runtime unwinds, so a report can
// name the exception's class and show the `throw` as its location.
//
// The stack walker recognises a raise routine by a name containing "Error";
// the jump in front lets the function analysis follow a throwing function's
// call straight to this routine, as it follows import thunks.
#pragma once

#include <cstdint>
#include <typeinfo>

namespace runtime {

struct RaiseRecord {
  const std::type_info* type = nullptr;
  uint32_t address = 0;  // return address of the throwing call
};

// The last exception this thread raised; empty before the first.
RaiseRecord LastRaise();

// Called by the raise routine with the new record before the C++ runtime
// unwinds, while the throwing function's frames are still on the stack;
// null: nothing is called.
extern void (*raise_hook)(const RaiseRecord& record);

}  // namespace runtime

extern "C" [[noreturn]] void RaiseError(void* object, std::type_info* type,
                                        void (*destructor)(void*));
