#include "crash/modules/thread_obfuscator.h"

#include <windows.h>

#include "crash/modules/safe_read.h"

namespace qor {
namespace {

uint32_t ReadFs(uint32_t offset) {
  uint32_t value;
  __asm__ volatile("movl %%fs:(%1), %0" : "=r"(value) : "r"(offset));
  return value;
}

// A candidate holds when the record it points at for this thread carries
// this process's id, obfuscated the same way, at `field`.
bool Holds(uint32_t candidate, uint32_t field) {
  uint32_t value = 0;
  uint32_t record = (GetCurrentThreadId() ^ candidate) + field;
  return SafeRead(record, &value, sizeof value) && value == (GetCurrentProcessId() ^ candidate);
}

ThreadObfuscator Compute() {
  // The 9x thread record lies 16 bytes before the thread information block,
  // whose self pointer is at fs:0x18.
  uint32_t first = (ReadFs(0x18) - 16) ^ GetCurrentThreadId();
  if (Holds(first, 8)) return {first, true};
  // The process environment block's address is at fs:0x30.
  uint32_t second = ReadFs(0x30) ^ GetCurrentProcessId();
  if (Holds(second, 56)) return {second, false};
  return {};
}

}  // namespace

const ThreadObfuscator& CurrentThreadObfuscator() {
  static const ThreadObfuscator value = Compute();
  return value;
}

}  // namespace qor
