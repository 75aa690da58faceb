// Opcode tables of the 32-bit x86 instruction set as the decoder sees it:
// base instructions, x87, MMX, SSE, SSE2 and 3DNow!. Constant data only; the
// decoder reads them, the text composer reads their mnemonic templates.
#pragma once

#include <array>
#include <cstdint>

namespace qor::disasm {

// How an operand is encoded. The letter follows the published opcode maps:
// E = ModRM rm (register or memory), G = ModRM reg, Z = low three opcode
// bits, I = immediate, J = relative branch, O = absolute address, P/N = MMX
// (XMM with prefix 0x66) in reg/rm, Q = MMX or memory, V/U = XMM in reg/rm,
// W = XMM or memory. The suffix is the size: b 1, w 2, d 4, v 2 or 4 by
// operand size, q 8, t 10, n none shown.
enum Operand : uint8_t {
  kNone,
  kEb, kEw, kEd, kEv, kEq, kEt, kEn,
  kGb, kGw, kGd, kGv,
  kSw, kCd, kDd,
  kZb, kZv, kZd,
  kIb, kIbs, kIw, kIz, kIzs, kEnter,
  kJb, kJz, kAp, kOb, kOv,
  kAL, kAX, kCL, kDX, kOne,
  kPq, kQq, kNq,  // MMX, or XMM with prefix 0x66
  kPm, kQm, kNm,  // MMX only
  kVx, kWx, kUx,  // XMM
  kSt0, kStI,     // x87 "st" and "st(i)"
};

// Which forms of the ModRM byte an entry accepts.
enum Form : uint8_t { kAnyForm, kMemOnly, kRegOnly };

// Registers an instruction writes, for register tracking.
enum Write : uint8_t { kWriteNone, kWriteFirst, kWriteBoth };

// Implicitly written general registers, one bit per encoding number.
enum Clobber : uint8_t {
  kClobEax = 1, kClobEcx = 2, kClobEdx = 4, kClobEbx = 8,
  kClobEsp = 16, kClobEbp = 32, kClobEsi = 64, kClobEdi = 128, kClobAll = 255,
};

// Mandatory prefixes of two-byte opcodes, one bit per variant: none, 0x66,
// 0xF2, 0xF3. The published maps leave the other combinations undefined.
enum PrefixBit : uint8_t { kNoPrefix = 1, kP66 = 2, kPF2 = 4, kPF3 = 8, kAnyPrefix = 15 };

// How an entry continues: a plain instruction, or a lookup in a group row
// (by ModRM reg), a prefix row (by 0x66/0xF2/0xF3), the x87 tables or the
// 3DNow! suffix table.
enum Kind : uint8_t { kPlain, kGroup, kPrefixed, kX87, k3DNow, kInvalid };

// Immediate bytes that follow the ModRM fields.
enum Imm : uint8_t { kImmNone, kImm8, kImm16, kImmZ, kImmFar, kImmMoffs, kImmEnter };

struct OpEntry {
  const char* name = nullptr;  // mnemonic template; null in group rows uses the group's
  Kind kind = kInvalid;
  uint8_t row = 0;  // group or prefix row for kGroup / kPrefixed
  Form form = kAnyForm;
  Write write = kWriteNone;
  uint8_t clobber = 0;
  Imm imm = kImmNone;
  bool relative = false;    // J operand: a relative branch target
  bool has_modrm = false;
  bool signed_imm = false;  // immediate written with its sign
  uint8_t prefixes = kAnyPrefix;  // mandatory prefixes the map defines (PrefixBit)
  Operand ops[3] = {kNone, kNone, kNone};
};

struct GroupRow {
  const char* name;     // template with "|" variants by ModRM reg
  OpEntry reg[8];       // register forms (mod = 3)
  OpEntry mem[8];       // memory forms
};

// Entries for no prefix, 0x66, 0xF2, 0xF3 (the mandatory prefix).
struct PrefixRow {
  OpEntry by_prefix[4];
};

struct X87Escape {
  const char* name;        // template of 16 "|" variants, "-" lists by rm
  uint8_t mem_valid;       // bit per ModRM reg: memory form defined
  uint8_t mem_size[8];     // memory operand size in bytes (0: not shown)
  uint8_t reg_valid[8];    // per ModRM reg: bit per rm of defined register forms
  uint8_t reg_form[8];     // per ModRM reg: X87Form of the register operands
};

// Operands of an x87 register form.
enum X87Form : uint8_t { kX87None, kX87StSti, kX87StiSt, kX87Sti };

// Group rows (kGroup entries name them by `row`).
enum GroupIndex : uint8_t {
  kGrp1, kGrp2, kGrp3b, kGrp3, kGrp4, kGrp5, kGrp1a, kGrp11, kGrp6, kGrp7, kGrp8, kGrp9,
  kGrp12, kGrp13, kGrp14, kGrp15, kGrp16, kGrpP, kGroupCount
};

extern const std::array<OpEntry, 256> kOneByte;
extern const std::array<OpEntry, 256> kTwoByte;
extern const std::array<GroupRow, kGroupCount> kGroups;
// Prefix rows (kPrefixed entries name them by `row`).
enum PrefixIndex : uint8_t {
  kRow12, kRow16, kRow2A, kRow2C, kRow2D, kRow6C, kRow6D, kRow6F, kRow70, kRow7E, kRow7F, kRowD6, kRowE6,
  kPrefixRowCount
};

extern const std::array<PrefixRow, kPrefixRowCount> kPrefixRows;
extern const std::array<X87Escape, 8> kX87Escapes;

// Mnemonic of the 3DNow! instruction with this suffix byte; null when none.
const char* ThreeDNowName(uint8_t suffix);

}  // namespace qor::disasm
