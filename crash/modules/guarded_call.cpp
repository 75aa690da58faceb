// The host tree's guard: a plain call. Host builds exist for tests,
// fuzzers and sanitizers, which must see every fault.
#include "crash/modules/guarded_call.h"

namespace qor {

bool GuardedCall(void (*fn)(void*), void* arg, GuardedFault*) {
  fn(arg);
  return true;
}

}  // namespace qor
