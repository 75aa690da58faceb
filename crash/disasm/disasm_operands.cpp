// Operand text: registers, memory references with their size and segment,
// immediates, far pointers and relative branches.
#include <string>

#include "crash/disasm/disasm_tables.h"
#include "crash/disasm/disasm_text.h"

namespace qor {
namespace {

using namespace disasm;

const char* const kReg8[8] = {"al", "cl", "dl", "bl", "ah", "ch", "dh", "bh"};
const char* const kReg16[8] = {"ax", "cx", "dx", "bx", "sp", "bp", "si", "di"};
const char* const kReg32[8] = {"eax", "ecx", "edx", "ebx", "esp", "ebp", "esi", "edi"};
const char* const kSegments[6] = {"es", "cs", "ss", "ds", "fs", "gs"};
const char* const kPairs16[8] = {"bx+si", "bx+di", "bp+si", "bp+di", "si", "di", "bp", "bx"};

std::string Unsigned(uint32_t value) {
  return value <= 9 ? std::to_string(value) : DollarHex(value);
}

std::string Signed(int32_t value) {
  const uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : value;
  std::string text = value < 0 ? "-" : "";
  return text += Unsigned(magnitude);
}

std::string Displacement(int32_t value) {
  std::string text = value < 0 ? "" : "+";
  return text += Signed(value);
}

std::string General(uint8_t number, unsigned size) {
  switch (size) {
    case 1: return kReg8[number];
    case 2: return kReg16[number];
    default: return kReg32[number];
  }
}

std::string Vector(const Instruction& ins, Operand o, uint8_t number) {
  const bool xmm = o == kVx || o == kWx || o == kUx ||
                   ((o == kPq || o == kQq || o == kNq) && ins.prefix_66);
  std::string text = xmm ? "xmm" : "mm";
  return text += std::to_string(number);
}

// Bytes of the memory operand `o`; 0 when its size is never written.
unsigned MemorySize(const Instruction& ins, Operand o) {
  switch (o) {
    case kEb: return 1;
    case kEw: return 2;
    case kEd: return 4;
    case kEv: return ins.operand_size;
    case kEq: return 8;
    case kEt: return 10;
    default: return 0;
  }
}

// Size of a general register operand, 0 for every other operand.
unsigned GeneralSize(const Instruction& ins, Operand o) {
  switch (o) {
    case kGb: case kZb: case kAL: return 1;
    case kGw: return 2;
    case kGd: case kZd: return 4;
    case kGv: case kZv: case kAX: return ins.operand_size;
    default: return 0;
  }
}

bool IsRegisterOperand(const Instruction& ins, Operand o) {
  switch (o) {
    case kSw: case kCd: case kDd: case kPq: case kPm: case kNq: case kNm: case kVx: case kUx:
    case kSt0: case kStI:
      return true;
    case kQq: case kQm: case kWx: return ins.mod == 3;
    default: return GeneralSize(ins, o) != 0;
  }
}

// The size goes in front of a memory operand unless another operand's
// register already implies it.
bool SizeImplied(const Instruction& ins, unsigned size) {
  for (Operand o : ins.operands->ops) {
    if (!IsRegisterOperand(ins, o)) continue;
    const unsigned general = GeneralSize(ins, o);
    if (general == 0 || general == size) return true;
  }
  return false;
}

std::string SizeName(unsigned size) {
  switch (size) {
    case 1: return "byte ptr ";
    case 2: return "word ptr ";
    case 4: return "dword ptr ";
    case 8: return "qword ptr ";
    case 10: return "tbyte ptr ";
    case 16: return "oword ptr ";
    default: return "";
  }
}

std::string SegmentPrefix(const Instruction& ins) {
  switch (ins.segment) {
    case 0x26: return "es:";
    case 0x2E: return "cs:";
    case 0x36: return "ss:";
    case 0x3E: return "ds:";
    case 0x64: return "fs:";
    case 0x65: return "gs:";
    default: return "";
  }
}

std::string Bracketed(const std::string& inside) {
  std::string text = "[";
  text += inside;
  return text += ']';
}

std::string Address(const Instruction& ins) {
  std::string inside;
  if (ins.address_size == 2) {
    if (ins.pair16 < 0) return Bracketed(Unsigned(static_cast<uint16_t>(ins.disp)));
    inside = kPairs16[ins.pair16];
  } else {
    if (ins.base < 0 && ins.index < 0) return Bracketed(Unsigned(static_cast<uint32_t>(ins.disp)));
    if (ins.base >= 0) inside = kReg32[ins.base];
    if (ins.index >= 0) {
      inside += '+';
      inside += kReg32[ins.index];
      if (ins.scale > 1) {
        inside += '*';
        inside += std::to_string(ins.scale);
      }
    }
  }
  if (ins.disp_size) inside += Displacement(ins.disp);
  if (inside[0] == '+') inside.erase(0, 1);
  return Bracketed(inside);
}

std::string Memory(const Instruction& ins, unsigned size) {
  const std::string sized = size && !SizeImplied(ins, size) ? SizeName(size) : "";
  return sized + SegmentPrefix(ins) + Address(ins);
}

std::string Relative(const Instruction& ins) {
  const int32_t disp = ins.imm_size == 1 ? static_cast<int8_t>(ins.imm)
                       : ins.imm_size == 2 ? static_cast<int16_t>(ins.imm)
                                           : static_cast<int32_t>(ins.imm);
  // The target is recomputed: the decoder clears it for a branch to the
  // next instruction, which the listing still shows as a branch.
  uint32_t target = ins.info.next + static_cast<uint32_t>(disp);
  if (ins.operand_size == 2) target &= 0xFFFF;
  return Displacement(disp) + " (" + DollarHex(target) + ")";
}

std::string SignedImmediate(const Instruction& ins) {
  switch (ins.imm_size) {
    case 1: return Signed(static_cast<int8_t>(ins.imm));
    case 2: return Signed(static_cast<int16_t>(ins.imm));
    default: return Signed(static_cast<int32_t>(ins.imm));
  }
}

std::string Operand1(const Instruction& ins, Operand o) {
  switch (o) {
    case kEb: case kEw: case kEd: case kEv: case kEq: case kEt: case kEn:
      if (ins.mod == 3) return General(ins.rm, o == kEb ? 1 : o == kEw ? 2 : o == kEd ? 4
                                                                            : ins.operand_size);
      return Memory(ins, MemorySize(ins, o));
    case kGb: case kGw: case kGd: case kGv: return General(ins.reg, GeneralSize(ins, o));
    case kZb: case kZv: case kZd: return General(ins.opcode_byte & 7, GeneralSize(ins, o));
    case kSw: return kSegments[ins.reg];
    case kCd: return "cr" + std::to_string(ins.reg);
    case kDd: return "dr" + std::to_string(ins.reg);
    case kIb: case kIw: case kIz: return Unsigned(ins.imm);
    case kIbs: case kIzs: return SignedImmediate(ins);
    case kEnter: return Unsigned(ins.imm) + ", " + Unsigned(ins.imm2);
    case kJb: case kJz: return Relative(ins);
    case kAp: return DollarHex(ins.imm2) + ":" + DollarHex(ins.imm);
    case kOb: case kOv: return SegmentPrefix(ins) + Bracketed(Unsigned(ins.imm));
    case kAL: return "al";
    case kAX: return General(0, ins.operand_size);
    case kCL: return "cl";
    case kDX: return "dx";
    case kOne: return "1";
    case kPq: case kPm: case kVx: return Vector(ins, o, ins.reg);
    case kNq: case kNm: case kUx: return Vector(ins, o, ins.rm);
    case kQq: case kQm: case kWx:
      return ins.mod == 3 ? Vector(ins, o, ins.rm) : Memory(ins, 0);
    default: return {};
  }
}

std::string X87Operands(const Instruction& ins) {
  const X87Escape& escape = kX87Escapes[ins.opcode_byte - 0xD8];
  if (ins.mod != 3) {
    const unsigned size = escape.mem_size[ins.reg];
    return SizeName(size) + SegmentPrefix(ins) + Address(ins);
  }
  const std::string sti = "st(" + std::to_string(ins.rm) + ")";
  switch (escape.reg_form[ins.reg]) {
    case kX87StSti: return "st, " + sti;
    case kX87StiSt: return sti + ", st";
    case kX87Sti: return sti;
    default: return {};
  }
}

}  // namespace

std::string DollarHex(uint32_t value) {
  static const char kDigits[] = "0123456789abcdef";
  char text[9];
  int at = 8;
  text[at] = 0;
  do {
    text[--at] = kDigits[value & 15];
    value >>= 4;
  } while (value);
  std::string dollar = "$";
  return dollar += text + at;
}

std::string OperandText(const Instruction& ins) {
  if (!ins.info.is_valid || !ins.entry) return {};
  if (ins.entry->kind == kX87) return X87Operands(ins);
  if (ins.entry->kind == k3DNow) return Vector(ins, kPm, ins.reg) + ", " + Operand1(ins, kQm);
  // The base of aam and aad is shown only when it is not the usual 10.
  const bool base_ten = !ins.two_byte && (ins.opcode_byte == 0xD4 || ins.opcode_byte == 0xD5) &&
                        ins.imm == 10;
  std::string text;
  for (Operand o : ins.operands->ops) {
    if (o == kNone || (base_ten && o == kIb)) continue;
    if (!text.empty()) text += ", ";
    text += Operand1(ins, o);
  }
  return text;
}

}  // namespace qor
