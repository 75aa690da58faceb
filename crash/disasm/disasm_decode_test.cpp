// Decoding facts: lengths, validity, control flow and register tracking.
#include <gtest/gtest.h>

#include <vector>

#include "crash/disasm/disasm.h"
#include "crash/modules/testing/mapped_memory.h"

namespace qor {
namespace {

constexpr uint32_t kCode = 0x401000;

CodeInfo Decode(std::vector<uint8_t> bytes, RegisterSlots* slots = nullptr) {
  MappedMemory memory;
  memory.Map(kCode, std::move(bytes));
  CodeInfo info;
  info.is_valid = true;  // marker: the decoder must overwrite every field
  info.target = 0xdeadbeef;
  DecodeCode(memory, kCode, info, slots);
  return info;
}

struct LengthCase {
  std::vector<uint8_t> bytes;
  uint32_t length;
};

TEST(DisasmDecodeTest, LengthsOfTheFixedAndAddressingCases) {
  const LengthCase cases[] = {
      {{0x9A, 1, 2, 3, 4, 5, 6}, 7},            // far call: offset + selector
      {{0x66, 0x9A, 1, 2, 3, 4}, 6},            // 16-bit far call
      {{0xA1, 1, 2, 3, 4}, 5},                  // moffs by address size
      {{0x67, 0xA1, 1, 2}, 4},
      {{0xC8, 0x10, 0x00, 0x01}, 4},            // enter: word + byte
      {{0x66, 0x68, 1, 2}, 4},                  // push imm16
      {{0x81, 0xC0, 1, 2, 3, 4}, 6},
      {{0x66, 0x81, 0xC0, 1, 2}, 5},
      {{0x83, 0xC0, 0xFF}, 3},
      {{0xF6, 0xC0, 0x01}, 3},                  // test has an immediate...
      {{0xF6, 0xD0}, 2},                        // ...not has none
      {{0xF7, 0xC0, 1, 2, 3, 4}, 6},
      {{0x8B, 0x04, 0x24}, 3},                  // SIB
      {{0x8B, 0x44, 0x24, 0x08}, 4},
      {{0x8B, 0x05, 1, 2, 3, 4}, 6},            // displacement only
      {{0x8B, 0x04, 0x25, 1, 2, 3, 4}, 7},      // SIB base 5, mod 0
      {{0x8B, 0x84, 0x24, 1, 2, 3, 4}, 7},
      {{0x67, 0x8B, 0x46, 0x10}, 4},            // [bp+disp8]
      {{0x67, 0x8B, 0x06, 0x34, 0x12}, 5},      // 16-bit displacement only
      {{0x67, 0x8B, 0x04}, 3},                  // [si]: no SIB in 16-bit addressing
      {{0x0F, 0x0F, 0xC1, 0x9E}, 4},            // 3DNow! pfadd
      {{0xD9, 0xE8}, 2},                        // fld1
      {{0xDD, 0x05, 1, 2, 3, 4}, 6},
      {{0x66, 0x0F, 0x70, 0xC1, 0x1B}, 5},      // pshufd
      {{0x0F, 0x71, 0xD0, 0x04}, 4},            // psrlw mm0, 4
      {{0x0F, 0xBA, 0xE0, 0x03}, 4},            // bt eax, 3
      {{0x0F, 0xA4, 0xC1, 0x03}, 4},            // shld
      {{0xF3, 0xA5}, 2},
      {{0x0F, 0x20, 0x00}, 3},                  // mov eax, cr0 ignores mod
  };
  for (const LengthCase& c : cases) {
    const CodeInfo info = Decode(c.bytes);
    EXPECT_TRUE(info.is_valid) << ::testing::PrintToString(c.bytes);
    EXPECT_EQ(info.next - kCode, c.length) << ::testing::PrintToString(c.bytes);
  }
}

TEST(DisasmDecodeTest, InvalidEncodings) {
  const std::vector<uint8_t> cases[] = {
      {0x8D, 0xC0},              // lea needs memory
      {0xC4, 0xC0},              // les needs memory
      {0x62, 0xC0},              // bound needs memory
      {0x8C, 0xF0},              // segment register 6
      {0x8E, 0xC8},              // mov cs, eax
      {0xFE, 0xD0},              // 0xFE allows inc and dec only
      {0xFF, 0xF8},              // 0xFF /7
      {0xFF, 0xD8},              // far call needs memory
      {0xFF, 0xE8},              // far jump needs memory
      {0xD9, 0xD1},              // x87: undefined register form
      {0xD9, 0xE2},
      {0xDD, 0x08},              // x87: undefined memory form
      {0x0F, 0x24, 0xC0},        // unused two-byte row
      {0x0F, 0x38, 0x00, 0xC0},  // three-byte maps are not decoded
      {0x0F, 0x73, 0xD8, 0x01},  // psrldq needs 0x66
      {0x0F, 0x0F, 0xC1, 0x00},  // no 3DNow! operation 0
      {0xF3, 0x0F, 0x58 - 4, 0xC0},  // andps has no 0xF3 form
      {0x0F, 0x20, 0xC8},        // cr1 does not exist
      {0x8B},                    // bytes end inside the instruction
      {0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66,
       0x66, 0x90},              // 16 bytes: longer than any instruction
  };
  for (const auto& bytes : cases) {
    const CodeInfo info = Decode(bytes);
    EXPECT_FALSE(info.is_valid) << ::testing::PrintToString(bytes);
    EXPECT_GE(info.next, kCode);
    EXPECT_LE(info.next, kCode + bytes.size());
  }
}

TEST(DisasmDecodeTest, CallToTheNextInstructionIsNoControlFlow) {
  const CodeInfo info = Decode({0xE8, 0, 0, 0, 0});
  EXPECT_TRUE(info.is_valid);
  EXPECT_FALSE(info.call);
  EXPECT_FALSE(info.jmp);
  EXPECT_EQ(info.target, 0u);
  EXPECT_EQ(info.p_target, 0u);
  EXPECT_EQ(info.target_size, 0u);
  EXPECT_FALSE(info.enlargeable);
  EXPECT_EQ(info.next, kCode + 5);
}

TEST(DisasmDecodeTest, RelativeBranches) {
  CodeInfo info = Decode({0xE8, 0x10, 0, 0, 0});
  EXPECT_TRUE(info.call && info.rel_target && info.enlargeable);
  EXPECT_EQ(info.target, kCode + 5 + 0x10);
  EXPECT_EQ(info.p_target, kCode + 1);
  EXPECT_EQ(info.target_size, 4u);
  EXPECT_EQ(info.opcode, 0xE8);

  info = Decode({0xEB, 0xFE});  // jumps to itself
  EXPECT_TRUE(info.jmp && !info.call);
  EXPECT_EQ(info.target, kCode);
  EXPECT_EQ(info.target_size, 1u);

  info = Decode({0x0F, 0x85, 0xFA, 0xFF, 0xFF, 0xFF});
  EXPECT_TRUE(info.jmp);
  EXPECT_EQ(info.opcode, 0x0F85);
  EXPECT_EQ(info.target, kCode);
  EXPECT_EQ(info.p_target, kCode + 2);

  info = Decode({0xE2, 0xFE});  // the loop family cannot be widened
  EXPECT_TRUE(info.jmp);
  EXPECT_FALSE(info.enlargeable);
  info = Decode({0xE3, 0x05});
  EXPECT_FALSE(info.enlargeable);

  info = Decode({0x66, 0xE9, 0x00, 0x10});  // 16-bit IP wraps
  EXPECT_EQ(info.target, (kCode + 4 + 0x1000) & 0xFFFF);

  info = Decode({0x9A, 1, 2, 3, 4, 5, 6});  // far: no target
  EXPECT_TRUE(info.call);
  EXPECT_EQ(info.target, 0u);
}

TEST(DisasmDecodeTest, CallThroughAbsoluteCell) {
  MappedMemory memory;
  memory.Map(kCode, {0xFF, 0x15, 0x00, 0x20, 0x40, 0x00, 0xFF, 0x25, 0x00, 0x30, 0x40, 0x00});
  memory.Map(0x402000, {0x78, 0x56, 0x34, 0x12});
  CodeInfo info;
  EXPECT_TRUE(DecodeCode(memory, kCode, info));
  EXPECT_TRUE(info.call);
  EXPECT_EQ(info.target, 0x12345678u);
  EXPECT_EQ(info.pp_target, kCode + 2);
  EXPECT_EQ(info.target_size, 4u);
  // The second cell is not readable: the instruction is invalid, but its
  // length is known.
  EXPECT_FALSE(DecodeCode(memory, kCode + 6, info));
  EXPECT_TRUE(info.jmp);
  EXPECT_EQ(info.next, kCode + 12);
}

TEST(DisasmDecodeTest, RegisterTrackingIntoIndirectCalls) {
  MappedMemory memory;
  const std::vector<uint8_t> code = {
      0xB8, 0x00, 0x20, 0x40, 0x00,  // mov eax, $402000
      0x8B, 0xC8,                    // mov ecx, eax
      0xFF, 0xD0,                    // call eax
      0xFF, 0x11,                    // call [ecx]
      0xFF, 0xD1,                    // call ecx (cleared by the calls)
      0xC7, 0xC6, 0x04, 0x20, 0x40, 0x00,  // mov esi, $402004
      0x83, 0xC6, 0x04,              // add esi, 4
      0xFF, 0xD6,                    // call esi: no longer known
  };
  memory.Map(kCode, code);
  memory.Map(0x402000, {0x00, 0x50, 0x40, 0x00});
  RegisterSlots slots{};
  CodeInfo info;
  uint32_t at = kCode;
  auto step = [&] {
    DecodeCode(memory, at, info, &slots);
    at = info.next;
  };
  step();
  EXPECT_EQ(slots[0], kCode + 1);
  step();
  EXPECT_EQ(slots[1], kCode + 1);
  step();  // call eax
  EXPECT_TRUE(info.call);
  EXPECT_EQ(info.p_target, kCode + 1);
  EXPECT_EQ(info.target, 0x402000u);
  EXPECT_EQ(slots[0], 0u) << "the callee may change eax";
  EXPECT_EQ(slots[1], 0u) << "the callee may change ecx";
  slots[1] = kCode + 1;  // as if ecx were still known
  step();  // call [ecx]
  EXPECT_EQ(info.pp_target, kCode + 1);
  EXPECT_EQ(info.target, 0x405000u);
  step();  // call ecx
  EXPECT_EQ(info.p_target, 0u);
  EXPECT_EQ(info.target, 0u);
  step();  // mov esi, imm32
  EXPECT_EQ(slots[6], kCode + 15);
  step();  // add esi, 4
  EXPECT_EQ(slots[6], 0u);
  step();
  EXPECT_EQ(info.target, 0u);
  EXPECT_EQ(at, kCode + code.size());
}

TEST(DisasmDecodeTest, ImplicitWritesClearTrackedRegisters) {
  struct Case {
    std::vector<uint8_t> bytes;
    uint8_t cleared;  // registers whose slots are cleared
  };
  const Case cases[] = {
      {{0x99}, 1 << 2},                      // cdq: edx
      {{0xF7, 0xE1}, 1 << 0 | 1 << 2},       // mul ecx: eax, edx
      {{0xF3, 0xA5}, 1 << 1 | 1 << 6 | 1 << 7},  // rep movsd: ecx, esi, edi
      {{0xAD}, 1 << 0 | 1 << 6},             // lodsd: eax, esi
      {{0xE2, 0xFE}, 1 << 1},                // loop: ecx
      {{0xC9}, 1 << 4 | 1 << 5},             // leave: esp, ebp
      {{0x0F, 0xA2}, 0x0F},                  // cpuid: eax..ebx
      {{0x0F, 0x31}, 1 << 0 | 1 << 2},       // rdtsc: eax, edx
      {{0x61}, 0xFF},                        // popad: all
      {{0xDF, 0xE0}, 1 << 0},                // fnstsw ax
      {{0x87, 0xD9}, 1 << 1 | 1 << 3},       // xchg ecx, ebx
      {{0x8A, 0xE1}, 1 << 0},                // mov ah, cl: eax
      {{0x5F}, 1 << 7},                      // pop edi
      {{0x39, 0xC8}, 0},                     // cmp writes nothing
      {{0x89, 0x08}, 0},                     // a store to memory
  };
  for (const Case& c : cases) {
    RegisterSlots slots;
    slots.fill(0x1000);
    Decode(c.bytes, &slots);
    for (int r = 0; r < 8; ++r) {
      EXPECT_EQ(slots[r], (c.cleared >> r) & 1 ? 0u : 0x1000u)
          << ::testing::PrintToString(c.bytes) << " register " << r;
    }
  }
}

TEST(DisasmDecodeTest, NeverReadsPastTheEndOfTheAddressSpace) {
  MappedMemory memory;
  memory.Map(0xFFFFFFF0, std::vector<uint8_t>(15, 0x90));
  CodeInfo info;
  EXPECT_TRUE(DecodeCode(memory, 0xFFFFFFFE, info));
  EXPECT_EQ(info.next, 0xFFFFFFFFu);
  EXPECT_FALSE(DecodeCode(memory, 0xFFFFFFFF, info));
  EXPECT_EQ(info.next, 0xFFFFFFFFu);
}

}  // namespace
}  // namespace qor
