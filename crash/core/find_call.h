// Finding a call instruction inside a routine, so that one call can be
// redirected without touching the rest of the routine.
#pragma once

#include <cstdint>

#include "crash/modules/memory_reader.h"

namespace qor {

// Instructions FindCall decodes at most before it gives up: far more than
// the short routines it is used on, and a stop for a routine whose return
// it never meets.
inline constexpr uint32_t kFindCallMaxInstructions = 1024;

// Address of the `position`-th (from 1) call instruction with a 32-bit
// relative target (opcode 0xE8) in the routine at `routine`: a call of
// `target`, or any such call when `target` is 0. The routine is decoded
// from its entry, one instruction after the other, up to its first return
// (0xC3 or 0xC2), an instruction that cannot be decoded, `end` (the first
// address past the routine, when known) or kFindCallMaxInstructions,
// whichever comes first. 0 when there is no such call before that.
uint32_t FindCall(const MemoryReader& memory, uint32_t routine, uint32_t target,
                  uint32_t position = 1, uint32_t end = 0);

// The displacement that makes the 5-byte call at `call` go to `target`:
// target - (call + 5). The displacement itself sits at call + 1.
inline uint32_t CallDisplacement(uint32_t call, uint32_t target) { return target - (call + 5); }

}  // namespace qor
