#include "crash/core/find_call.h"

#include "crash/disasm/disasm.h"

namespace qor {
namespace {

constexpr uint16_t kCallRelative = 0xE8;
constexpr uint16_t kReturn = 0xC3;
constexpr uint16_t kReturnPop = 0xC2;
constexpr uint32_t kCallLength = 5;  // without an operand-size prefix

}  // namespace

uint32_t FindCall(const MemoryReader& memory, uint32_t routine, uint32_t target,
                  uint32_t position, uint32_t end) {
  if (position == 0) return 0;
  uint32_t at = routine;
  for (uint32_t count = 0; count < kFindCallMaxInstructions; ++count) {
    if (end != 0 && at >= end) return 0;
    CodeInfo info;
    if (!DecodeCode(memory, at, info) || info.next <= at) return 0;
    if (info.opcode == kReturn || info.opcode == kReturnPop) return 0;
    const bool relative_call = info.call && info.rel_target && info.opcode == kCallRelative &&
                               info.next - at == kCallLength;
    if (relative_call && (target == 0 || info.target == target) && --position == 0) return at;
    at = info.next;
  }
  return 0;
}

}  // namespace qor
