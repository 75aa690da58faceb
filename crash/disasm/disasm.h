// Decoding one 32-bit x86 instruction from memory read through a
// MemoryReader: validity, length and the control-flow facts that function
// analysis and the stack walker need, and the operand details from which the
// listing composes its text. The decoder keeps no state of its own; it may
// run on any thread.
#pragma once

#include <array>
#include <cstdint>

#include "crash/modules/memory_reader.h"

namespace qor {

namespace disasm {
struct OpEntry;
}

// What one decoded instruction is, in the order the analysis consumes it.
// Every field is zero before decoding.
struct CodeInfo {
  bool is_valid = false;     // the bytes form an instruction (and an absolute
                             // indirect target could be read)
  uint16_t opcode = 0;       // the opcode byte, or 0x0F00 + second byte
  uint8_t modrm = 0;         // the ModRM byte when there is one
  bool call = false;         // a call
  bool jmp = false;          // a jump, unconditional or conditional
  bool rel_target = false;   // target given relative to `next`
  uint32_t target = 0;       // destination when known
  uint32_t p_target = 0;     // where the target value itself is stored
  uint32_t pp_target = 0;    // where the address of the target's cell is stored
  uint32_t target_size = 0;  // bytes of the field at p_target or pointer at pp_target
  bool enlargeable = false;  // relative displacement that could be widened
  uint32_t this_address = 0; // first byte
  uint32_t next = 0;         // first byte after the instruction (or the
                             // position reached when decoding failed)
};

// Register tracking: per general register in encoding order (eax, ecx, edx,
// ebx, esp, ebp, esi, edi) the address of the 32-bit immediate last moved
// into it, or 0 when unknown.
using RegisterSlots = std::array<uint32_t, 8>;

// Everything the decoder learned about an instruction's encoding.
struct Instruction {
  CodeInfo info;
  // Table entries, set once the opcode (and ModRM byte) are known: the
  // opcode's own entry, the one whose operands apply, and the one that
  // decides validity, mnemonic and written registers (a group or prefix row).
  const disasm::OpEntry* entry = nullptr;
  const disasm::OpEntry* operands = nullptr;
  const disasm::OpEntry* rule = nullptr;
  uint8_t operand_size = 4;                // 2 with prefix 0x66
  uint8_t address_size = 4;                // 2 with prefix 0x67
  bool prefix_66 = false;
  bool lock = false;
  uint8_t rep = 0;        // 0xF2 or 0xF3 when present (the last one seen)
  uint8_t segment = 0;    // override prefix byte (the last one seen), 0 when none
  uint8_t variant = 0;    // mandatory prefix: 0 none, 1 0x66, 2 0xF2, 3 0xF3
  bool two_byte = false;  // opcode escaped by 0x0F
  uint8_t opcode_byte = 0;
  bool has_modrm = false;
  uint8_t mod = 0, reg = 0, rm = 0;
  bool has_sib = false;
  uint8_t scale = 1;      // 1, 2, 4 or 8
  int8_t base = -1;       // register number, -1 when none (16-bit: -1 too)
  int8_t index = -1;      // register number, -1 when none
  int8_t pair16 = -1;     // 16-bit addressing: rm form 0..7, -1 for displacement only
  uint8_t disp_size = 0;  // 0, 1, 2 or 4
  int32_t disp = 0;       // sign-extended
  uint32_t disp_address = 0;
  uint8_t imm_size = 0;   // bytes of the first immediate (the offset for far pointers)
  uint32_t imm = 0;       // zero-extended
  uint32_t imm2 = 0;      // selector of a far pointer, second immediate of enter,
                          // 3DNow! suffix
  uint32_t imm_address = 0;

  bool IsMemory() const { return has_modrm && mod != 3; }
};

// Decodes the instruction at `address`: validity, length and control flow.
// `slots`, when given, are read for indirect targets and updated by the
// instruction. Returns info.is_valid.
bool DecodeCode(const MemoryReader& memory, uint32_t address, CodeInfo& info,
                RegisterSlots* slots = nullptr);

// As DecodeCode, keeping the operand details for the instruction text.
bool DecodeInstruction(const MemoryReader& memory, uint32_t address, Instruction& instruction,
                       RegisterSlots* slots = nullptr);

}  // namespace qor
