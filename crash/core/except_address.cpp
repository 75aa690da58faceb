#include "crash/core/except_address.h"

namespace qor {

bool IsInstructionOf(const TFunctionInfo& function, const MemoryReader& memory, uint32_t address) {
  for (const FarCall& call : function.far_calls) {
    if (call.target == address) return true;
  }
  for (const CodeArea& area : function.code_areas) {
    if (area.case_table || area.handler_table || address < area.begin || address > area.end) {
      continue;
    }
    // Decoded from the area's start: the instructions follow each other.
    for (uint32_t at = area.begin; at <= address;) {
      if (at == address) return true;
      CodeInfo info;
      if (!DecodeCode(memory, at, info) || info.next <= at) break;
      at = info.next;
    }
  }
  return false;
}

uint32_t CorrectedExceptAddress(const TFunctionInfo& function, const MemoryReader& memory,
                                uint32_t address) {
  if (!function.is_valid || IsInstructionOf(function, memory, address)) return address;
  return IsInstructionOf(function, memory, address + 4) ? address + 4 : address;
}

}  // namespace qor
