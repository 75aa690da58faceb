// The one guard against processor faults. Code that runs while a failure is
// handled (the stack walker's phases, the decoder's name and line hooks,
// the debug-information lookups over live memory) must not take the
// process down when it meets a bad pointer: the guard turns an access
// violation, an illegal instruction, a division by zero or a stack
// overflow inside the call into a false result.
//
// On Windows an exception-registration frame of the system's structured
// exception handling sits around the call; its handler unwinds the frames
// above it and jumps back here. Nothing between the guard and the fault
// is unwound the C++ way: an object with a destructor that lives in the
// guarded body is simply abandoned (its memory leaks), so keep such bodies
// to work whose partial state is thrown away on failure.
//
// C++ exceptions are no faults: one that leaves the body passes through
// the guard unchanged (after the registration frame is gone), so callers
// keep their catch (...) for them.
//
// The host tree builds the portable code for tests, fuzzers and sanitizers,
// where a fault is a bug to be reported loudly: there the guard is a plain
// call.
#pragma once

#include <cstdint>
#include <type_traits>

namespace qor {

// What the guard caught.
struct GuardedFault {
  uint32_t code = 0;     // the system's exception code (0xC0000005 for an access violation)
  uint32_t address = 0;  // the faulting instruction
};

// Calls fn(arg). True when it returned; false when a processor fault
// ended it, with `fault` (when given) describing the fault. A C++
// exception thrown by fn propagates to the caller.
bool GuardedCall(void (*fn)(void*), void* arg, GuardedFault* fault = nullptr);

// GuardedCall for a callable, which lives in the caller's frame.
template <typename Body>
bool Guarded(Body&& body, GuardedFault* fault = nullptr) {
  return GuardedCall([](void* self) { (*static_cast<std::remove_reference_t<Body>*>(self))(); },
                     &body, fault);
}

}  // namespace qor
