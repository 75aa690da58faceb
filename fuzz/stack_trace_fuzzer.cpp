// The stack walker over a stack of arbitrary dwords in the synthetic test
// process (a program with debug information and a helper DLL without):
// the first bytes pick the trace's options and current address, then each
// 5-byte entry is one stack dword, aimed by its first byte at the program's
// code, the helper, the stack itself, or taken as it is. Any text is fine
// as long as nothing faults or loops.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "crash/stack/stack_tables.h"
#include "crash/stack/testing/stack_test_process.h"
#include "crash/stack/stack_trace.h"

namespace {

using namespace qor::test;

uint32_t Aim(uint8_t kind, uint32_t raw) {
  switch (kind % 4) {
    case 0: return kCode + raw % 0x200;            // among the program's functions
    case 1: return kHelperFunction + raw % 0x40;   // the helper's exports
    case 2: return kStackTop - 4 - raw % 0x400;    // saved frame pointers
    default: return raw;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr size_t kHeader = 7, kEntry = 5, kMaxEntries = 512;
  if (size < kHeader) return 0;
  const uint8_t flags = data[0];
  uint32_t current = 0;
  std::memcpy(&current, data + 1, 4);
  current = Aim(data[5], current);
  const uint8_t frame_entry = data[6];

  qor::ResetStackTraceTables();
  TestProcess process;
  process.is_9x = flags & 0x80;
  TestStack stack;
  uint32_t frame_pointer = 0;
  size_t entries = 0;
  for (size_t at = kHeader; at + kEntry <= size && entries < kMaxEntries; at += kEntry, ++entries) {
    uint32_t raw = 0;
    std::memcpy(&raw, data + at + 1, 4);
    const uint32_t slot = stack.Push(Aim(data[at], raw));
    if (entries == frame_entry) frame_pointer = slot;
  }
  process.MapStack(stack);
  uint32_t function_entry = 0, code_address = 0;
  qor::TraceStack(
      process.Context(), flags & 1, flags & 2, flags & 4, current, flags & 8, flags & 16,
      stack.Bottom(), kStackTop, (flags & 32) ? kCode + data[6] : 0, &function_entry,
      &code_address, nullptr, frame_pointer, flags & 64, {}, false);
  return 0;
}
