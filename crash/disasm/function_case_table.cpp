#include "crash/disasm/function_case_table.h"

namespace qor {

bool CaseTracker::Compare(const Instruction& ins) {
  constexpr uint32_t kMostCases = 0x1000;
  const uint16_t op = ins.info.opcode;
  const uint8_t modrm = ins.info.modrm;
  uint32_t count = ins.imm;
  if (op == 0x83 && modrm >= 0xF8 && ins.operand_size == 4) {
    count &= 0xFF;
  } else if (op == 0x80 && modrm >= 0xF8 && modrm <= 0xFB) {  // al, cl, dl, bl
    count &= 0xFF;
  } else if ((op == 0x81 && modrm >= 0xF8) || op == 0x3D) {
    if (ins.operand_size != 4 || count >= kMostCases) return false;
  } else {
    return false;
  }
  register_ = op == 0x3D ? 0 : modrm & 7;
  count_ = count;
  entries_ = 0;
  return true;
}

bool CaseTracker::Step(const Instruction& ins, uint32_t& table, uint32_t& entries) {
  const uint16_t op = ins.info.opcode;
  if (entries_ && op == 0xFF && ins.info.modrm == 0x24 && ins.has_sib && ins.scale == 4 &&
      ins.index == register_ && ins.base < 0) {
    table = static_cast<uint32_t>(ins.disp);
    entries = entries_;
    register_ = -1;
    return true;
  }
  const bool greater = op == 0x77 || op == 0x7F || op == 0x0F87 || op == 0x0F8F;
  const bool greater_equal = op == 0x73 || op == 0x7D || op == 0x0F83 || op == 0x0F8D;
  if (register_ >= 0 && !entries_ && (greater || greater_equal)) {
    entries_ = count_ + (greater ? 1 : 0);
    return false;
  }
  // movzx r32, r8 of the compared byte register carries the index over.
  if (entries_ && op == 0x0FB6 && ins.mod == 3 && ins.rm == register_) {
    register_ = ins.reg;
    return false;
  }
  if (!Compare(ins)) register_ = -1;
  return false;
}

}  // namespace qor
