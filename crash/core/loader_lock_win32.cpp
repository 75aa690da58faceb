#include "crash/core/loader_lock.h"

#include <windows.h>

#include <cstdint>

#include "crash/modules/safe_read.h"

namespace qor {
namespace {

// Where the 32-bit process environment block keeps its two locks.
constexpr uint32_t kFastPebLockOffset = 0x1C;
constexpr uint32_t kLoaderLockOffset = 0xA0;
// Where a critical section keeps its owner's thread id.
constexpr uint32_t kOwningThreadOffset = 12;

uint32_t EnvironmentBlock() {
  uint32_t peb = 0;
  asm volatile("movl %%fs:0x30, %0" : "=r"(peb));
  return peb;
}

bool OwnsLock(uint32_t peb, uint32_t offset) {
  uint32_t section = 0;
  uint32_t owner = 0;
  if (!SafeRead(peb + offset, &section, sizeof(section)) || section == 0) return false;
  if (!SafeRead(section + kOwningThreadOffset, &owner, sizeof(owner))) return false;
  return owner == GetCurrentThreadId();
}

}  // namespace

bool CurrentThreadOwnsLoaderLock() {
  if (static_cast<int32_t>(GetVersion()) < 0) return false;  // 9x family
  const uint32_t peb = EnvironmentBlock();
  return peb != 0 && (OwnsLock(peb, kLoaderLockOffset) || OwnsLock(peb, kFastPebLockOffset));
}

}  // namespace qor
