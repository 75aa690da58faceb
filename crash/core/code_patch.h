// Patching code of the running process: a jump over a routine's entry, a
// redirected call, and the record of each patch so that shutdown undoes
// exactly what was done (Windows only).
#pragma once

#include <cstddef>
#include <cstdint>

namespace qor {

// The longest patch and the most patches the list keeps. The list is plain
// data, so it is there from the first moment to the last, also for a
// shutdown that runs after every other static object is gone.
inline constexpr uint32_t kMaxPatchBytes = 16;
inline constexpr uint32_t kMaxPatches = 128;

struct TCodePatch {
  uint32_t Address;
  uint32_t Length;
  uint8_t OldBytes[kMaxPatchBytes];  // what was there before
  uint8_t NewBytes[kMaxPatchBytes];  // what was written
};

// Writes `length` bytes from `bytes` at `address` and records the patch.
// False, with nothing written or recorded, when either range cannot be
// read, the bytes are already there, the length is 0 or more than
// kMaxPatchBytes, the list is full, or the code cannot be made writable.
bool RecordPatch(uint32_t address, const void* bytes, uint32_t length);

// Writes a 5-byte relative jump to `replacement` over the entry of
// `routine`. When the routine begins with 0xFF 0x25 (an indirect jump, as
// in an import thunk), the jump goes over the routine the pointer leads
// to instead. False when nothing was patched.
bool PatchEntryJump(uint32_t routine, uint32_t replacement);

// Replaces the 32-bit displacement at `address` (the operand of a call)
// with `displacement` (see CallDisplacement in find_call.h).
bool PatchCallTarget(uint32_t address, uint32_t displacement);

// Undoes the recorded patches, newest first, so that patches over the same
// bytes end with the original ones; a patch whose bytes someone else has
// changed since is left as it is. Then empties the list.
void RestorePatches();

// Patches recorded and not yet restored.
size_t PatchCount();

}  // namespace qor
