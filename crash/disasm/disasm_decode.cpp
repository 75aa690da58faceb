// The instruction decoder: prefixes, opcode tables, ModRM/SIB/displacement,
// immediates, validity, control flow and register tracking.
#include <cstring>

#include "crash/disasm/disasm.h"
#include "crash/disasm/disasm_tables.h"

namespace qor {
namespace {

using namespace disasm;

// Architectural limit on the length of one instruction.
constexpr uint32_t kMaxLength = 15;

// The bytes of one instruction, read in one go: `size` bytes from the
// instruction's address were readable.
struct Window {
  uint8_t bytes[kMaxLength] = {};
  uint32_t size = 0;
  uint32_t pos = 0;

  bool Take(uint32_t count, uint32_t& value) {
    if (size - pos < count) return false;
    value = 0;
    for (uint32_t i = 0; i < count; ++i) value |= uint32_t{bytes[pos + i]} << (8 * i);
    pos += count;
    return true;
  }
  bool Byte(uint8_t& value) {
    if (pos >= size) return false;
    value = bytes[pos++];
    return true;
  }
};

int32_t SignExtend(uint32_t value, uint32_t size) {
  switch (size) {
    case 1: return static_cast<int8_t>(value);
    case 2: return static_cast<int16_t>(value);
    default: return static_cast<int32_t>(value);
  }
}

bool ReadU32(const MemoryReader& memory, uint32_t address, uint32_t& value) {
  uint8_t bytes[4];
  if (!memory.ReadAll(address, bytes, 4)) return false;
  value = uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
          uint32_t{bytes[3]} << 24;
  return true;
}

// Reads the prefixes; false when the bytes run out.
bool ReadPrefixes(Window& w, Instruction& ins, uint8_t& opcode) {
  for (;;) {
    if (!w.Byte(opcode)) return false;
    switch (opcode) {
      case 0x66: ins.prefix_66 = true; ins.operand_size = 2; break;
      case 0x67: ins.address_size = 2; break;
      case 0xF0: ins.lock = true; break;
      case 0xF2: case 0xF3: ins.rep = opcode; break;
      case 0x26: case 0x2E: case 0x36: case 0x3E: case 0x64: case 0x65:
        ins.segment = opcode;
        break;
      default: return true;
    }
  }
}

// Reads the SIB byte and displacement of a memory operand; false when the
// bytes run out.
bool ReadAddress(Window& w, Instruction& ins) {
  if (ins.mod == 3) return true;
  uint32_t disp_size = ins.mod == 1 ? 1 : 0;
  if (ins.address_size == 2) {
    if (ins.mod == 0 && ins.rm == 6) {
      disp_size = 2;
    } else {
      ins.pair16 = static_cast<int8_t>(ins.rm);
      if (ins.mod == 2) disp_size = 2;
    }
  } else {
    ins.base = static_cast<int8_t>(ins.rm);
    if (ins.rm == 4) {
      uint8_t sib;
      if (!w.Byte(sib)) return false;
      ins.has_sib = true;
      ins.scale = static_cast<uint8_t>(1u << (sib >> 6));
      const uint8_t index = (sib >> 3) & 7;
      ins.index = index == 4 ? -1 : static_cast<int8_t>(index);
      ins.base = static_cast<int8_t>(sib & 7);
    }
    if (ins.mod == 0 && ins.base == 5) {
      ins.base = -1;
      disp_size = 4;
    }
    if (ins.mod == 2) disp_size = 4;
  }
  if (disp_size == 0) return true;
  ins.disp_address = ins.info.this_address + w.pos;
  uint32_t raw;
  if (!w.Take(disp_size, raw)) return false;
  ins.disp_size = static_cast<uint8_t>(disp_size);
  ins.disp = SignExtend(raw, disp_size);
  return true;
}

uint8_t Variant(const Instruction& ins) {
  if (ins.two_byte && ins.rep) return ins.rep == 0xF2 ? 2 : 3;
  return ins.prefix_66 ? 1 : 0;
}

// The entry that decides validity, mnemonic and written registers, once the
// ModRM byte is known; the opcode's own entry for plain instructions.
const OpEntry* Rule(const OpEntry* entry, const Instruction& ins) {
  switch (entry->kind) {
    case kGroup: {
      const GroupRow& row = kGroups[entry->row];
      return ins.mod == 3 ? &row.reg[ins.reg] : &row.mem[ins.reg];
    }
    case kPrefixed: return &kPrefixRows[entry->row].by_prefix[ins.variant];
    default: return entry;
  }
}

bool X87Valid(const Instruction& ins) {
  const X87Escape& escape = kX87Escapes[ins.opcode_byte - 0xD8];
  if (ins.mod != 3) return (escape.mem_valid >> ins.reg) & 1;
  return (escape.reg_valid[ins.reg] >> ins.rm) & 1;
}

bool OpcodeRulesHold(const Instruction& ins, const OpEntry* entry, const OpEntry* rule) {
  if (rule->kind == kInvalid) return false;
  if (rule->form == kMemOnly && ins.mod == 3) return false;
  if (rule->form == kRegOnly && ins.mod != 3) return false;
  if (!ins.two_byte && ins.opcode_byte == 0x8C) return ins.reg < 6;
  // cs cannot be loaded by a move; the processor refuses it.
  if (!ins.two_byte && ins.opcode_byte == 0x8E) return ins.reg < 6 && ins.reg != 1;
  if (rule->kind == kX87) return X87Valid(ins);
  if (!ins.two_byte) return true;
  if (!(entry->prefixes & rule->prefixes & (1u << ins.variant))) return false;
  switch (ins.opcode_byte) {
    case 0x20: case 0x22: return ins.reg != 1 && ins.reg < 5;  // cr0, cr2..cr4 exist
    case 0x73: return ins.prefix_66 || (ins.reg != 3 && ins.reg != 7);  // 128-bit shifts only
    default: return true;
  }
}

uint32_t ImmediateSize(Imm imm, const Instruction& ins) {
  switch (imm) {
    case kImm8: return 1;
    case kImm16: return 2;
    case kImmZ: return ins.operand_size;
    case kImmFar: return ins.operand_size;  // the selector follows separately
    case kImmMoffs: return ins.address_size;
    case kImmEnter: return 2;               // the nesting byte follows separately
    default: return 0;
  }
}

// Reads the immediates; false when the bytes run out.
bool ReadImmediates(Window& w, Instruction& ins, Imm imm) {
  const uint32_t size = ImmediateSize(imm, ins);
  if (size == 0) return true;
  ins.imm_address = ins.info.this_address + w.pos;
  ins.imm_size = static_cast<uint8_t>(size);
  if (!w.Take(size, ins.imm)) return false;
  if (imm == kImmFar) return w.Take(2, ins.imm2);
  if (imm == kImmEnter) return w.Take(1, ins.imm2);
  return true;
}

// Near calls and jumps through a register or memory operand (0xFF /2../5).
void IndirectTarget(const MemoryReader& memory, Instruction& ins, const RegisterSlots* slots) {
  CodeInfo& info = ins.info;
  if (ins.operand_size != 4 || ins.address_size != 4) return;
  if (ins.mod != 3 && ins.base < 0 && ins.index < 0) {
    info.pp_target = ins.disp_address;
    info.target_size = 4;
    uint32_t cell = static_cast<uint32_t>(ins.disp);
    info.is_valid = ReadU32(memory, cell, info.target);
    return;
  }
  if (!slots) return;
  if (ins.mod == 3) {
    const uint32_t slot = (*slots)[ins.rm];
    if (!slot) return;
    info.p_target = slot;
    info.target_size = 4;
    ReadU32(memory, slot, info.target);
  } else if (ins.index < 0 && ins.disp_size == 0) {
    const uint32_t slot = (*slots)[ins.base];
    if (!slot) return;
    info.pp_target = slot;
    info.target_size = 4;
    uint32_t cell;
    if (ReadU32(memory, slot, cell)) ReadU32(memory, cell, info.target);
  }
}

void ControlFlow(const MemoryReader& memory, Instruction& ins, const OpEntry* chosen,
                 const RegisterSlots* slots) {
  CodeInfo& info = ins.info;
  const uint8_t op = ins.opcode_byte;
  if (chosen->relative) {
    info.rel_target = true;
    info.p_target = ins.imm_address;
    info.target_size = ins.imm_size;
    info.target = info.next + static_cast<uint32_t>(SignExtend(ins.imm, ins.imm_size));
    if (ins.operand_size == 2) info.target &= 0xFFFF;  // the instruction pointer is 16 bits wide
    info.enlargeable = ins.two_byte || op < 0xE0 || op > 0xE3;
    info.call = !ins.two_byte && op == 0xE8;
    info.jmp = !info.call;
  } else if (!ins.two_byte && op == 0xFF && ins.reg >= 2 && ins.reg <= 5) {
    info.call = ins.reg <= 3;
    info.jmp = !info.call;
    IndirectTarget(memory, ins, slots);
  } else if (!ins.two_byte && (op == 0x9A || op == 0xEA)) {
    info.call = op == 0x9A;
    info.jmp = !info.call;
  }
  if ((info.call || info.jmp) && info.target == info.next) {
    // Reaching the next instruction is how position-independent code reads
    // its own address, not a transfer of control.
    info.call = info.jmp = false;
    info.target = info.p_target = info.pp_target = info.target_size = 0;
    info.enlargeable = false;
  }
}

// General register written by operand `o`, or -1.
int WrittenRegister(const Instruction& ins, Operand o) {
  switch (o) {
    case kEb: case kEw: case kEd: case kEv:
      return ins.mod == 3 ? (o == kEb ? ins.rm & 3 : ins.rm) : -1;
    case kGb: return ins.reg & 3;
    case kGw: case kGd: case kGv: return ins.reg;
    case kZb: return ins.opcode_byte & 3;
    case kZv: case kZd: return ins.opcode_byte & 7;
    case kAL: case kAX: return 0;
    default: return -1;
  }
}

bool IsStringOp(const Instruction& ins) {
  const uint8_t op = ins.opcode_byte;
  return !ins.two_byte && ((op >= 0xA4 && op <= 0xA7) || (op >= 0xAA && op <= 0xAF) ||
                           (op >= 0x6C && op <= 0x6F));
}

void Track(const Instruction& ins, const OpEntry* chosen, const OpEntry* rule,
           RegisterSlots& slots) {
  const uint8_t op = ins.opcode_byte;
  const bool wide = ins.operand_size == 4;
  // The source slot of mov reg, reg before anything is cleared.
  const uint32_t copied = slots[ins.rm];
  uint8_t clear = rule->clobber;
  if (rule->write != kWriteNone) {
    const int first = WrittenRegister(ins, chosen->ops[0]);
    if (first >= 0) clear |= 1u << first;
  }
  if (rule->write == kWriteBoth) {
    const int second = WrittenRegister(ins, chosen->ops[1]);
    if (second >= 0) clear |= 1u << second;
  }
  if (ins.rep && IsStringOp(ins)) clear |= kClobEcx;
  if (!ins.two_byte && op == 0xDF && ins.mod == 3 && ins.reg == 4) clear |= kClobEax;
  for (int r = 0; r < 8; ++r) {
    if (clear & (1u << r)) slots[r] = 0;
  }
  if (ins.two_byte || !wide) return;
  if (op >= 0xB8 && op <= 0xBF) {
    slots[op & 7] = ins.imm_address;
  } else if (op == 0xC7 && ins.mod == 3 && ins.reg == 0) {
    slots[ins.rm] = ins.imm_address;
  } else if (op == 0x8B && ins.mod == 3) {
    slots[ins.reg] = copied;
  }
}

// Decodes the opcode and everything after it; false (with `next` at the
// position reached) when the instruction is invalid or its bytes run out.
bool DecodeBody(Window& w, Instruction& ins, uint8_t opcode) {
  const OpEntry* entry = &kOneByte[opcode];
  if (opcode == 0x0F) {
    if (!w.Byte(opcode)) return false;
    ins.two_byte = true;
    entry = &kTwoByte[opcode];
  }
  ins.opcode_byte = opcode;
  ins.info.opcode = ins.two_byte ? uint16_t(0x0F00 | opcode) : opcode;
  ins.variant = Variant(ins);
  if (entry->kind == kInvalid) return false;
  if (entry->has_modrm) {
    uint8_t modrm;
    if (!w.Byte(modrm)) return false;
    ins.has_modrm = true;
    ins.info.modrm = modrm;
    ins.mod = modrm >> 6;
    ins.reg = (modrm >> 3) & 7;
    ins.rm = modrm & 7;
    // Moves to and from control and debug registers ignore the mod field.
    if (ins.two_byte && (opcode & 0xFC) == 0x20) ins.mod = 3;
    if (!ReadAddress(w, ins)) return false;
  }
  ins.entry = entry;
  ins.rule = Rule(entry, ins);
  const bool own_operands =
      entry->kind == kPrefixed || (entry->kind == kGroup && entry->ops[0] == kNone);
  ins.operands = own_operands ? ins.rule : entry;
  if (!OpcodeRulesHold(ins, entry, ins.rule)) return false;
  if (!ReadImmediates(w, ins, ins.operands->imm)) return false;
  if (entry->kind == k3DNow) {
    ins.imm2 = ins.imm;  // the suffix names the operation
    if (!ThreeDNowName(static_cast<uint8_t>(ins.imm))) return false;
  }
  return true;
}

}  // namespace

bool DecodeInstruction(const MemoryReader& memory, uint32_t address, Instruction& ins,
                       RegisterSlots* slots) {
  ins = Instruction{};
  CodeInfo& info = ins.info;
  info.this_address = address;
  Window w;
  // Never read past the end of the address space, so `next` cannot wrap.
  const uint32_t room = 0xFFFFFFFFu - address;
  w.size = memory.Read(address, w.bytes, room < kMaxLength ? room : kMaxLength);
  uint8_t opcode = 0;
  const bool ok = ReadPrefixes(w, ins, opcode) && DecodeBody(w, ins, opcode);
  info.next = address + w.pos;
  if (!ok) return false;
  info.is_valid = true;
  ControlFlow(memory, ins, ins.operands, slots);
  if (slots && info.is_valid) Track(ins, ins.operands, ins.rule, *slots);
  return info.is_valid;
}

bool DecodeCode(const MemoryReader& memory, uint32_t address, CodeInfo& info,
                RegisterSlots* slots) {
  Instruction ins;
  const bool valid = DecodeInstruction(memory, address, ins, slots);
  info = ins.info;
  return valid;
}

}  // namespace qor
