#include "crash/core/code_patch.h"

#include <windows.h>

#include <atomic>
#include <cstring>

#include "crash/modules/safe_read.h"

namespace qor {
namespace {

constexpr uint8_t kJumpRelative = 0xE9;
constexpr uint32_t kJumpLength = 5;

// Zero-initialised plain data: no constructor or destructor runs.
TCodePatch patches[kMaxPatches];
uint32_t patch_count = 0;
std::atomic_flag patch_lock = ATOMIC_FLAG_INIT;

// Patching is rare and short; a spin lock needs no set-up.
class PatchLock {
 public:
  PatchLock() {
    while (patch_lock.test_and_set(std::memory_order_acquire)) Sleep(0);
  }
  PatchLock(const PatchLock&) = delete;
  PatchLock& operator=(const PatchLock&) = delete;
  ~PatchLock() { patch_lock.clear(std::memory_order_release); }
};

void* Pointer(uint32_t address) { return reinterpret_cast<void*>(uintptr_t{address}); }

// Copies `bytes` over code at `address`: writable for the copy, then the
// old protection again, then the processor is told the code changed.
bool WriteCode(uint32_t address, const uint8_t* bytes, uint32_t length) {
  DWORD old_protect = 0;
  if (!VirtualProtect(Pointer(address), length, PAGE_EXECUTE_READWRITE, &old_protect)) {
    return false;
  }
  std::memcpy(Pointer(address), bytes, length);
  DWORD ignored = 0;
  VirtualProtect(Pointer(address), length, old_protect, &ignored);
  FlushInstructionCache(GetCurrentProcess(), Pointer(address), length);
  return true;
}

}  // namespace

bool RecordPatch(uint32_t address, const void* bytes, uint32_t length) {
  if (length == 0 || length > kMaxPatchBytes) return false;
  TCodePatch patch{address, length, {}, {}};
  const uint32_t source = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(bytes));
  PatchLock lock;
  if (patch_count == kMaxPatches || !SafeRead(address, patch.OldBytes, length) ||
      !SafeRead(source, patch.NewBytes, length) ||
      std::memcmp(patch.OldBytes, patch.NewBytes, length) == 0 ||
      !WriteCode(address, patch.NewBytes, length)) {
    return false;
  }
  patches[patch_count++] = patch;
  return true;
}

bool PatchEntryJump(uint32_t routine, uint32_t replacement) {
  uint8_t start[2] = {};
  if (!SafeRead(routine, start, sizeof start)) return false;
  uint32_t at = routine;
  if (start[0] == 0xFF && start[1] == 0x25) {
    uint32_t cell = 0;
    if (!SafeRead(routine + 2, &cell, 4) || !SafeRead(cell, &at, 4)) return false;
  }
  uint8_t jump[kJumpLength] = {kJumpRelative};
  const uint32_t distance = replacement - (at + kJumpLength);
  std::memcpy(jump + 1, &distance, 4);
  return RecordPatch(at, jump, kJumpLength);
}

bool PatchCallTarget(uint32_t address, uint32_t displacement) {
  return RecordPatch(address, &displacement, sizeof displacement);
}

void RestorePatches() {
  PatchLock lock;
  while (patch_count > 0) {
    const TCodePatch& patch = patches[--patch_count];
    uint8_t current[kMaxPatchBytes];
    if (SafeRead(patch.Address, current, patch.Length) &&
        std::memcmp(current, patch.NewBytes, patch.Length) == 0) {
      WriteCode(patch.Address, patch.OldBytes, patch.Length);
    }
  }
}

size_t PatchCount() {
  PatchLock lock;
  return patch_count;
}

}  // namespace qor
