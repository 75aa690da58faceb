// The opcode maps, built at compile time from one row per instruction so
// that a row reads like the published map it was taken from.
#include "crash/disasm/disasm_tables.h"

namespace qor::disasm {
namespace {

constexpr bool IsGeneral(Operand o) {
  return (o >= kEb && o <= kEv) || (o >= kGb && o <= kGv) || (o >= kZb && o <= kZd) ||
         o == kAL || o == kAX;
}

constexpr bool NeedsModrm(Operand o) {
  return (o >= kEb && o <= kDd) || (o >= kPq && o <= kUx);
}

// One instruction. By default it writes its first operand when that is a
// general register; the modifiers below say otherwise.
constexpr OpEntry Op(const char* name, Operand a = kNone, Operand b = kNone, Operand c = kNone) {
  OpEntry e;
  e.name = name;
  e.kind = kPlain;
  e.ops[0] = a;
  e.ops[1] = b;
  e.ops[2] = c;
  e.write = IsGeneral(a) ? kWriteFirst : kWriteNone;
  for (Operand o : e.ops) {
    if (NeedsModrm(o)) e.has_modrm = true;
    switch (o) {
      case kIb: e.imm = kImm8; break;
      case kIbs: e.imm = kImm8; e.signed_imm = true; break;
      case kIw: e.imm = kImm16; break;
      case kIz: e.imm = kImmZ; break;
      case kIzs: e.imm = kImmZ; e.signed_imm = true; break;
      case kEnter: e.imm = kImmEnter; break;
      case kJb: e.imm = kImm8; e.relative = true; break;
      case kJz: e.imm = kImmZ; e.relative = true; break;
      case kAp: e.imm = kImmFar; break;
      case kOb: case kOv: e.imm = kImmMoffs; break;
      default: break;
    }
  }
  return e;
}

constexpr OpEntry ReadOnly(OpEntry e) { e.write = kWriteNone; return e; }
constexpr OpEntry Both(OpEntry e) { e.write = kWriteBoth; return e; }
constexpr OpEntry Mem(OpEntry e) { e.form = kMemOnly; return e; }
constexpr OpEntry Reg(OpEntry e) { e.form = kRegOnly; return e; }
constexpr OpEntry Clob(OpEntry e, uint8_t mask) { e.clobber |= mask; return e; }
constexpr OpEntry Only(OpEntry e, uint8_t prefixes) { e.prefixes = prefixes; return e; }

// Packed-single instructions with a packed-double twin under 0x66, and MMX
// instructions with their XMM twin under 0x66.
constexpr uint8_t kPs = kNoPrefix | kP66;
// Instructions with packed and scalar forms under every prefix.
constexpr uint8_t kPsSs = kAnyPrefix;

// A group opcode: the row chosen by ModRM reg decides validity, mnemonic and
// written registers; operands given here apply to the whole row, otherwise
// the row's entries carry their own.
constexpr OpEntry Group(GroupIndex row, Operand a = kNone, Operand b = kNone, Operand c = kNone) {
  OpEntry e = Op(nullptr, a, b, c);
  e.kind = kGroup;
  e.row = row;
  e.has_modrm = true;
  return e;
}

// Group entries for rows whose operands come from the opcode.
constexpr OpEntry kWrites = [] { OpEntry e; e.kind = kPlain; e.write = kWriteFirst; return e; }();
constexpr OpEntry kReads = [] { OpEntry e; e.kind = kPlain; return e; }();

constexpr OpEntry Prefixed(PrefixIndex row) {
  OpEntry e;
  e.kind = kPrefixed;
  e.row = row;
  e.has_modrm = true;
  return e;
}

constexpr OpEntry Special(Kind kind) {
  OpEntry e;
  e.kind = kind;
  e.has_modrm = kind == kX87 || kind == k3DNow;
  if (kind == k3DNow) e.imm = kImm8;
  return e;
}

constexpr OpEntry kBad{};

constexpr const char* kAlu[8] = {"add", "or", "adc", "sbb", "and", "sub", "xor", "cmp"};

constexpr std::array<OpEntry, 256> BuildOneByte() {
  std::array<OpEntry, 256> t{};
  for (int i = 0; i < 8; ++i) {
    const int base = i * 8;
    auto alu = [&](OpEntry e) { return i == 7 ? ReadOnly(e) : e; };
    t[base + 0] = alu(Op(kAlu[i], kEb, kGb));
    t[base + 1] = alu(Op(kAlu[i], kEv, kGv));
    t[base + 2] = alu(Op(kAlu[i], kGb, kEb));
    t[base + 3] = alu(Op(kAlu[i], kGv, kEv));
    t[base + 4] = alu(Op(kAlu[i], kAL, kIb));
    t[base + 5] = alu(Op(kAlu[i], kAX, kIz));
  }
  // Segment pushes and pops; 0x0F (pop cs) is the two-byte escape.
  for (int s : {0x06, 0x0E, 0x16, 0x1E}) t[s] = Op("push    %seg");
  for (int s : {0x07, 0x17, 0x1F}) t[s] = Op("pop     %seg");
  t[0x27] = Clob(Op("daa"), kClobEax);
  t[0x2F] = Clob(Op("das"), kClobEax);
  t[0x37] = Clob(Op("aaa"), kClobEax);
  t[0x3F] = Clob(Op("aas"), kClobEax);
  for (int r = 0; r < 8; ++r) {
    t[0x40 + r] = Op("inc", kZv);
    t[0x48 + r] = Op("dec", kZv);
    t[0x50 + r] = ReadOnly(Op("push", kZv));
    t[0x58 + r] = Op("pop", kZv);
    t[0x90 + r] = Both(Op("xchg", kZv, kAX));
    t[0xB0 + r] = Op("mov", kZb, kIb);
    t[0xB8 + r] = Op("mov", kZv, kIz);
    t[0x70 + r * 2] = ReadOnly(Op("j%cc", kJb));
    t[0x71 + r * 2] = ReadOnly(Op("j%cc", kJb));
  }
  t[0x90] = Op("nop");
  t[0x60] = Op("pushad/pusha");
  t[0x61] = Clob(Op("popad/popa"), kClobAll);
  t[0x62] = Mem(ReadOnly(Op("bound", kGv, kEn)));
  t[0x63] = Op("arpl", kEw, kGw);
  t[0x68] = ReadOnly(Op("push", kIz));
  t[0x69] = Op("imul", kGv, kEv, kIzs);
  t[0x6A] = ReadOnly(Op("push", kIbs));
  t[0x6B] = Op("imul", kGv, kEv, kIbs);
  t[0x6C] = Clob(Op("insb"), kClobEdi);
  t[0x6D] = Clob(Op("insd/insw"), kClobEdi);
  t[0x6E] = Clob(Op("outsb"), kClobEsi);
  t[0x6F] = Clob(Op("outsd/outsw"), kClobEsi);
  t[0x80] = Group(kGrp1, kEb, kIbs);
  t[0x81] = Group(kGrp1, kEv, kIzs);
  t[0x82] = Group(kGrp1, kEb, kIbs);
  t[0x83] = Group(kGrp1, kEv, kIbs);
  t[0x84] = ReadOnly(Op("test", kEb, kGb));
  t[0x85] = ReadOnly(Op("test", kEv, kGv));
  t[0x86] = Both(Op("xchg", kEb, kGb));
  t[0x87] = Both(Op("xchg", kEv, kGv));
  t[0x88] = Op("mov", kEb, kGb);
  t[0x89] = Op("mov", kEv, kGv);
  t[0x8A] = Op("mov", kGb, kEb);
  t[0x8B] = Op("mov", kGv, kEv);
  t[0x8C] = Op("mov", kEv, kSw);
  t[0x8D] = Mem(Op("lea", kGv, kEn));
  t[0x8E] = Op("mov", kSw, kEw);
  t[0x8F] = Group(kGrp1a, kEv);
  t[0x98] = Clob(Op("cwde/cbw"), kClobEax);
  t[0x99] = Clob(Op("cdq/cwd"), kClobEdx);
  t[0x9A] = Op("call", kAp);
  t[0x9B] = Op("wait");
  t[0x9C] = Op("pushfd/pushf");
  t[0x9D] = Op("popfd/popf");
  t[0x9E] = Op("sahf");
  t[0x9F] = Clob(Op("lahf"), kClobEax);
  t[0xA0] = Op("mov", kAL, kOb);
  t[0xA1] = Op("mov", kAX, kOv);
  t[0xA2] = ReadOnly(Op("mov", kOb, kAL));
  t[0xA3] = ReadOnly(Op("mov", kOv, kAX));
  t[0xA4] = Clob(Op("movsb"), kClobEsi | kClobEdi);
  t[0xA5] = Clob(Op("movsd/movsw"), kClobEsi | kClobEdi);
  t[0xA6] = Clob(Op("cmpsb"), kClobEsi | kClobEdi);
  t[0xA7] = Clob(Op("cmpsd/cmpsw"), kClobEsi | kClobEdi);
  t[0xA8] = ReadOnly(Op("test", kAL, kIb));
  t[0xA9] = ReadOnly(Op("test", kAX, kIz));
  t[0xAA] = Clob(Op("stosb"), kClobEdi);
  t[0xAB] = Clob(Op("stosd/stosw"), kClobEdi);
  t[0xAC] = Clob(Op("lodsb"), kClobEsi | kClobEax);
  t[0xAD] = Clob(Op("lodsd/lodsw"), kClobEsi | kClobEax);
  t[0xAE] = Clob(Op("scasb"), kClobEdi);
  t[0xAF] = Clob(Op("scasd/scasw"), kClobEdi);
  t[0xC0] = Group(kGrp2, kEb, kIb);
  t[0xC1] = Group(kGrp2, kEv, kIb);
  t[0xC2] = Op("ret", kIw);
  t[0xC3] = Op("ret");
  t[0xC4] = Mem(Op("les", kGv, kEn));
  t[0xC5] = Mem(Op("lds", kGv, kEn));
  t[0xC6] = Group(kGrp11, kEb, kIb);
  t[0xC7] = Group(kGrp11, kEv, kIz);
  t[0xC8] = Clob(Op("enter", kEnter), kClobEbp | kClobEsp);
  t[0xC9] = Clob(Op("leave"), kClobEbp | kClobEsp);
  t[0xCA] = Op("retf", kIw);
  t[0xCB] = Op("retf");
  t[0xCC] = Op("int     3");
  t[0xCD] = Op("int", kIb);
  t[0xCE] = Op("into");
  t[0xCF] = Op("iretd/iret");
  t[0xD0] = Group(kGrp2, kEb, kOne);
  t[0xD1] = Group(kGrp2, kEv, kOne);
  t[0xD2] = Group(kGrp2, kEb, kCL);
  t[0xD3] = Group(kGrp2, kEv, kCL);
  t[0xD4] = Clob(Op("aam", kIb), kClobEax);
  t[0xD5] = Clob(Op("aad", kIb), kClobEax);
  t[0xD6] = Clob(Op("salc"), kClobEax);
  t[0xD7] = Clob(Op("xlat"), kClobEax);
  for (int e = 0xD8; e <= 0xDF; ++e) t[e] = Special(kX87);
  t[0xE0] = Clob(Op("loopne", kJb), kClobEcx);
  t[0xE1] = Clob(Op("loope", kJb), kClobEcx);
  t[0xE2] = Clob(Op("loop", kJb), kClobEcx);
  t[0xE3] = Op("jecxz", kJb);
  t[0xE4] = Op("in", kAL, kIb);
  t[0xE5] = Op("in", kAX, kIb);
  t[0xE6] = ReadOnly(Op("out", kIb, kAL));
  t[0xE7] = ReadOnly(Op("out", kIb, kAX));
  // The callee may change the scratch registers (as for group 5 calls).
  t[0xE8] = Clob(Op("call", kJz), kClobEax | kClobEcx | kClobEdx);
  t[0xE9] = Op("jmp", kJz);
  t[0xEA] = Op("jmp", kAp);
  t[0xEB] = Op("jmp", kJb);
  t[0xEC] = Op("in", kAL, kDX);
  t[0xED] = Op("in", kAX, kDX);
  t[0xEE] = ReadOnly(Op("out", kDX, kAL));
  t[0xEF] = ReadOnly(Op("out", kDX, kAX));
  t[0xF1] = Op("int1");
  t[0xF4] = Op("hlt");
  t[0xF5] = Op("cmc");
  t[0xF6] = Group(kGrp3b);
  t[0xF7] = Group(kGrp3);
  t[0xF8] = Op("clc");
  t[0xF9] = Op("stc");
  t[0xFA] = Op("cli");
  t[0xFB] = Op("sti");
  t[0xFC] = Op("cld");
  t[0xFD] = Op("std");
  t[0xFE] = Group(kGrp4, kEb);
  t[0xFF] = Group(kGrp5);
  return t;
}

// Rows of MMX instructions (0x66 selects the XMM forms) from `first` on.
constexpr void MmxRun(std::array<OpEntry, 256>& t, int first, std::initializer_list<const char*> names) {
  int op = first;
  for (const char* name : names) {
    if (name) t[op] = Only(Op(name, kPq, kQq), kPs);
    ++op;
  }
}

constexpr std::array<OpEntry, 256> BuildTwoByte() {
  std::array<OpEntry, 256> t{};
  t[0x00] = Group(kGrp6);
  t[0x01] = Group(kGrp7);
  t[0x02] = Op("lar", kGv, kEw);
  t[0x03] = Op("lsl", kGv, kEw);
  t[0x05] = Clob(Op("syscall"), kClobEax | kClobEcx | kClobEdx);
  t[0x06] = Op("clts");
  t[0x07] = Op("sysret");
  t[0x08] = Op("invd");
  t[0x09] = Op("wbinvd");
  t[0x0B] = Op("ud2");
  t[0x0D] = Group(kGrpP);
  t[0x0E] = Op("femms");
  t[0x0F] = Special(k3DNow);
  t[0x10] = Op("movuPS//movPS/movPS", kVx, kWx);
  t[0x11] = Op("movuPS//movPS/movPS", kWx, kVx);
  t[0x12] = Prefixed(kRow12);
  t[0x13] = Only(Mem(Op("movlPS", kWx, kVx)), kPs);
  t[0x14] = Only(Op("unpcklPS", kVx, kWx), kPs);
  t[0x15] = Only(Op("unpckhPS", kVx, kWx), kPs);
  t[0x16] = Prefixed(kRow16);
  t[0x17] = Only(Mem(Op("movhPS", kWx, kVx)), kPs);
  t[0x18] = Group(kGrp16);
  // Reserved hint opcodes execute as no-operations with a ModRM operand.
  for (int op = 0x19; op <= 0x1F; ++op) t[op] = ReadOnly(Op("nop", kEv));
  // Moves to and from control and debug registers (the decoder reads their
  // ModRM byte as a register form whatever its mod field says).
  t[0x20] = Op("mov", kEd, kCd);
  t[0x21] = Op("mov", kEd, kDd);
  t[0x22] = Op("mov", kCd, kEd);
  t[0x23] = Op("mov", kDd, kEd);
  t[0x28] = Only(Op("movaPS", kVx, kWx), kPs);
  t[0x29] = Only(Op("movaPS", kWx, kVx), kPs);
  t[0x2A] = Prefixed(kRow2A);
  t[0x2B] = Only(Mem(Op("movntPS", kWx, kVx)), kPs);
  t[0x2C] = Prefixed(kRow2C);
  t[0x2D] = Prefixed(kRow2D);
  t[0x2E] = Only(Op("ucomisS", kVx, kWx), kPs);
  t[0x2F] = Only(Op("comisS", kVx, kWx), kPs);
  t[0x30] = Op("wrmsr");
  t[0x31] = Clob(Op("rdtsc"), kClobEax | kClobEdx);
  t[0x32] = Clob(Op("rdmsr"), kClobEax | kClobEdx);
  t[0x33] = Clob(Op("rdpmc"), kClobEax | kClobEdx);
  t[0x34] = Op("sysenter");
  t[0x35] = Op("sysexit");
  for (int cc = 0; cc < 16; ++cc) {
    t[0x40 + cc] = Op("cmov%cc", kGv, kEv);
    t[0x80 + cc] = ReadOnly(Op("j%cc", kJz));
    t[0x90 + cc] = Op("set%cc", kEb);
  }
  t[0x50] = Only(Reg(Op("movmskPS", kGd, kUx)), kPs);
  const char* const sse[] = {"sqrtPS", "rsqrtPS", "rcpPS", "andPS", "andnPS", "orPS",
                             "xorPS", "addPS", "mulPS", "cvtPs2Pd/cvtPd2Ps/cvtPd2Ps",
                             "cvtdq2ps/cvtps2dq//cvttps2dq", "subPS", "minPS", "divPS",
                             "maxPS"};
  const uint8_t sse_prefixes[] = {kPsSs, kNoPrefix | kPF3, kNoPrefix | kPF3, kPs, kPs, kPs,
                                  kPs, kPsSs, kPsSs, kPsSs, kPs | kPF3, kPsSs, kPsSs, kPsSs,
                                  kPsSs};
  for (int i = 0; i < 15; ++i) t[0x51 + i] = Only(Op(sse[i], kVx, kWx), sse_prefixes[i]);
  MmxRun(t, 0x60, {"punpcklbw", "punpcklwd", "punpckldq", "packsswb", "pcmpgtb", "pcmpgtw",
                   "pcmpgtd", "packuswb", "punpckhbw", "punpckhwd", "punpckhdq", "packssdw"});
  t[0x6C] = Prefixed(kRow6C);
  t[0x6D] = Prefixed(kRow6D);
  t[0x6E] = Only(Op("movd", kPq, kEd), kPs);
  t[0x6F] = Prefixed(kRow6F);
  t[0x70] = Prefixed(kRow70);
  t[0x71] = Only(Group(kGrp12, kNq, kIb), kPs);
  t[0x72] = Only(Group(kGrp13, kNq, kIb), kPs);
  t[0x73] = Only(Group(kGrp14, kNq, kIb), kPs);
  MmxRun(t, 0x74, {"pcmpeqb", "pcmpeqw", "pcmpeqd"});
  t[0x77] = Only(Op("emms"), kNoPrefix);
  t[0x7E] = Prefixed(kRow7E);
  t[0x7F] = Prefixed(kRow7F);
  t[0xA0] = Op("push    fs");
  t[0xA1] = Op("pop     fs");
  t[0xA2] = Clob(Op("cpuid"), kClobEax | kClobEcx | kClobEdx | kClobEbx);
  t[0xA3] = ReadOnly(Op("bt", kEv, kGv));
  t[0xA4] = Op("shld", kEv, kGv, kIb);
  t[0xA5] = Op("shld", kEv, kGv, kCL);
  t[0xA8] = Op("push    gs");
  t[0xA9] = Op("pop     gs");
  t[0xAA] = Op("rsm");
  t[0xAB] = Op("bts", kEv, kGv);
  t[0xAC] = Op("shrd", kEv, kGv, kIb);
  t[0xAD] = Op("shrd", kEv, kGv, kCL);
  t[0xAE] = Only(Group(kGrp15), kNoPrefix);
  t[0xAF] = Op("imul", kGv, kEv);
  t[0xB0] = Clob(Op("cmpxchg", kEb, kGb), kClobEax);
  t[0xB1] = Clob(Op("cmpxchg", kEv, kGv), kClobEax);
  t[0xB2] = Mem(Op("lss", kGv, kEn));
  t[0xB3] = Op("btr", kEv, kGv);
  t[0xB4] = Mem(Op("lfs", kGv, kEn));
  t[0xB5] = Mem(Op("lgs", kGv, kEn));
  t[0xB6] = Op("movzx", kGv, kEb);
  t[0xB7] = Op("movzx", kGv, kEw);
  t[0xB9] = ReadOnly(Op("ud1", kGv, kEv));
  t[0xBA] = Group(kGrp8, kEv, kIb);
  t[0xBB] = Op("btc", kEv, kGv);
  t[0xBC] = Op("bsf", kGv, kEv);
  t[0xBD] = Op("bsr", kGv, kEv);
  t[0xBE] = Op("movsx", kGv, kEb);
  t[0xBF] = Op("movsx", kGv, kEw);
  t[0xC0] = Both(Op("xadd", kEb, kGb));
  t[0xC1] = Both(Op("xadd", kEv, kGv));
  t[0xC2] = Only(Op("cmpPS", kVx, kWx, kIb), kPsSs);
  t[0xC3] = Only(Mem(Op("movnti", kEd, kGd)), kNoPrefix);
  t[0xC4] = Only(Op("pinsrw", kPq, kEd, kIb), kPs);
  t[0xC5] = Only(Reg(Op("pextrw", kGd, kNq, kIb)), kPs);
  t[0xC6] = Only(Op("shufPS", kVx, kWx, kIb), kPs);
  t[0xC7] = Group(kGrp9);
  for (int r = 0; r < 8; ++r) t[0xC8 + r] = Op("bswap", kZd);
  MmxRun(t, 0xD1, {"psrlw", "psrld", "psrlq", "paddq", "pmullw"});
  t[0xD6] = Prefixed(kRowD6);
  t[0xD7] = Only(Reg(Op("pmovmskb", kGd, kNq)), kPs);
  MmxRun(t, 0xD8, {"psubusb", "psubusw", "pminub", "pand", "paddusb", "paddusw", "pmaxub",
                   "pandn", "pavgb", "psraw", "psrad", "pavgw", "pmulhuw", "pmulhw"});
  t[0xE6] = Prefixed(kRowE6);
  t[0xE7] = Only(Mem(Op("movntq/movntdq", kQq, kPq)), kPs);
  MmxRun(t, 0xE8, {"psubsb", "psubsw", "pminsw", "por", "paddsb", "paddsw", "pmaxsw", "pxor",
                   nullptr, "psllw", "pslld", "psllq", "pmuludq", "pmaddwd", "psadbw"});
  t[0xF7] = Only(Reg(Op("maskmovq/maskmovdqu", kPq, kNq)), kPs);
  MmxRun(t, 0xF8, {"psubb", "psubw", "psubd", "psubq", "paddb", "paddw", "paddd"});
  t[0xFF] = ReadOnly(Op("ud0", kGv, kEv));
  return t;
}

// A group row whose register and memory forms are the same.
constexpr GroupRow SameForms(const char* name, std::array<OpEntry, 8> forms) {
  GroupRow g{name, {}, {}};
  for (int r = 0; r < 8; ++r) g.reg[r] = g.mem[r] = forms[r];
  return g;
}

// Group 3 in one operand width: test takes an immediate, the rest do not.
constexpr GroupRow Group3(Operand rm, Operand imm) {
  // mul, imul, div and idiv write edx:eax; their operand is a source.
  const OpEntry mul = Clob(ReadOnly(Op(nullptr, rm)), kClobEax | kClobEdx);
  return SameForms("test||not|neg|mul|imul|div|idiv",
                   {ReadOnly(Op(nullptr, rm, imm)), kBad, Op(nullptr, rm), Op(nullptr, rm), mul,
                    mul, mul, mul});
}

constexpr std::array<GroupRow, kGroupCount> BuildGroups() {
  std::array<GroupRow, kGroupCount> g{};
  g[kGrp1] = SameForms("add|or|adc|sbb|and|sub|xor|cmp",
                       {kWrites, kWrites, kWrites, kWrites, kWrites, kWrites, kWrites, kReads});
  g[kGrp2] = SameForms("rol|ror|rcl|rcr|shl|shr|sal|sar",
                       {kWrites, kWrites, kWrites, kWrites, kWrites, kWrites, kWrites, kWrites});
  g[kGrp3b] = Group3(kEb, kIb);
  g[kGrp3] = Group3(kEv, kIz);
  const char* const incdec = "inc|dec|call|call|jmp|jmp|push";
  g[kGrp4] = SameForms(incdec, {kWrites, kWrites, kBad, kBad, kBad, kBad, kBad, kBad});
  // A call may change every register the calling conventions leave to the
  // callee, so tracked constants in them do not survive it.
  const uint8_t scratch = kClobEax | kClobEcx | kClobEdx;
  const OpEntry near = ReadOnly(Op(nullptr, kEv));
  const OpEntry far = ReadOnly(Op(nullptr, kEn));
  g[kGrp5] = SameForms(incdec, {Op(nullptr, kEv), Op(nullptr, kEv), Clob(near, scratch),
                                Clob(far, scratch), near, far, near, kBad});
  g[kGrp5].reg[3] = g[kGrp5].reg[5] = kBad;
  g[kGrp1a] = SameForms("pop", {kWrites, kBad, kBad, kBad, kBad, kBad, kBad, kBad});
  g[kGrp11] = SameForms("mov", {kWrites, kBad, kBad, kBad, kBad, kBad, kBad, kBad});
  const OpEntry ew = ReadOnly(Op(nullptr, kEw));
  g[kGrp6] = SameForms("sldt|str|lldt|ltr|verr|verw",
                       {Op(nullptr, kEw), Op(nullptr, kEw), ew, ew, ew, ew, kBad, kBad});
  const OpEntry table = ReadOnly(Op(nullptr, kEn));
  g[kGrp7] = GroupRow{"sgdt|sidt|lgdt|lidt|smsw||lmsw|invlpg",
                      {kBad, kBad, kBad, kBad, Op(nullptr, kEv), kBad, ew, kBad},
                      {table, table, table, table, Op(nullptr, kEw), kBad, ew, table}};
  g[kGrp8] = SameForms("||||bt|bts|btr|btc",
                       {kBad, kBad, kBad, kBad, kReads, kWrites, kWrites, kWrites});
  g[kGrp9] = GroupRow{"cmpxchg8b", {},
                      {kBad, Clob(ReadOnly(Op(nullptr, kEq)), kClobEax | kClobEdx), kBad, kBad,
                       kBad, kBad, kBad, kBad}};
  g[kGrp12] = GroupRow{"||psrlw||psraw||psllw",
                       {kBad, kBad, kReads, kBad, kReads, kBad, kReads, kBad}, {}};
  g[kGrp13] = GroupRow{"||psrld||psrad||pslld",
                       {kBad, kBad, kReads, kBad, kReads, kBad, kReads, kBad}, {}};
  g[kGrp14] = GroupRow{"||psrlq|psrldq|||psllq|pslldq",
                       {kBad, kBad, kReads, kReads, kBad, kBad, kReads, kReads}, {}};
  const OpEntry mxcsr = ReadOnly(Op(nullptr, kEd));
  g[kGrp15] = GroupRow{"fxsave|fxrstor|ldmxcsr|stmxcsr||lfence|mfence|sfence:clflush",
                       {kBad, kBad, kBad, kBad, kBad, kReads, kReads, kReads},
                       {table, table, mxcsr, mxcsr, kBad, kBad, kBad, table}};
  // Reserved hint opcodes execute as no-operations.
  const OpEntry hint = ReadOnly(Op("nop", kEv));
  g[kGrp16] = GroupRow{"prefetchnta|prefetcht0|prefetcht1|prefetcht2",
                       {hint, hint, hint, hint, hint, hint, hint, hint},
                       {table, table, table, table, hint, hint, hint, hint}};
  g[kGrpP] = GroupRow{"prefetch|prefetchw", {},
                      {table, table, kBad, kBad, kBad, kBad, kBad, kBad}};
  return g;
}

constexpr PrefixRow Row(OpEntry none, OpEntry p66, OpEntry f2, OpEntry f3) {
  return PrefixRow{{none, p66, f2, f3}};
}

constexpr std::array<PrefixRow, kPrefixRowCount> BuildPrefixRows() {
  std::array<PrefixRow, kPrefixRowCount> r{};
  // The 0xF2 and 0xF3 forms of 0x12 and 0x16 are later extensions; their
  // lengths are those of the other forms.
  const char* const movl = "movhlPS:movlPS/movlPS/movhlPS:movlPS/movhlPS:movlPS";
  r[kRow12] = Row(Op(movl, kVx, kWx), Mem(Op(movl, kVx, kWx)), Op(movl, kVx, kWx),
                  Op(movl, kVx, kWx));
  const char* const movh = "movlhPS:movhPS/movhPS/movlhPS:movhPS/movlhPS:movhPS";
  r[kRow16] = Row(Op(movh, kVx, kWx), Mem(Op(movh, kVx, kWx)), kBad, Op(movh, kVx, kWx));
  const char* const cvt2a = "cvtpi2ps/cvtpi2pd/cvtsi2sd/cvtsi2ss";
  r[kRow2A] = Row(Op(cvt2a, kVx, kQm), Op(cvt2a, kVx, kQm), Op(cvt2a, kVx, kEd),
                  Op(cvt2a, kVx, kEd));
  const char* const cvt2c = "cvttps2pi/cvttpd2pi/cvttsd2si/cvttss2si";
  r[kRow2C] = Row(Op(cvt2c, kPm, kWx), Op(cvt2c, kPm, kWx), Op(cvt2c, kGd, kWx),
                  Op(cvt2c, kGd, kWx));
  const char* const cvt2d = "cvtps2pi/cvtpd2pi/cvtsd2si/cvtss2si";
  r[kRow2D] = Row(Op(cvt2d, kPm, kWx), Op(cvt2d, kPm, kWx), Op(cvt2d, kGd, kWx),
                  Op(cvt2d, kGd, kWx));
  r[kRow6C] = Row(kBad, Op("punpcklqdq", kVx, kWx), kBad, kBad);
  r[kRow6D] = Row(kBad, Op("punpckhqdq", kVx, kWx), kBad, kBad);
  const char* const movq = "movq/movdqa//movdqu";
  r[kRow6F] = Row(Op(movq, kPm, kQm), Op(movq, kVx, kWx), kBad, Op(movq, kVx, kWx));
  r[kRow7F] = Row(Op(movq, kQm, kPm), Op(movq, kWx, kVx), kBad, Op(movq, kWx, kVx));
  const char* const pshuf = "pshufw/pshufd/pshuflw/pshufhw";
  r[kRow70] = Row(Op(pshuf, kPm, kQm, kIb), Op(pshuf, kVx, kWx, kIb), Op(pshuf, kVx, kWx, kIb),
                  Op(pshuf, kVx, kWx, kIb));
  const char* const movd = "movd///movq";
  r[kRow7E] = Row(Op(movd, kEd, kPm), Op(movd, kEd, kVx), kBad, Op(movd, kVx, kWx));
  const char* const movq2 = "movq//movdq2q/movq2dq";
  r[kRowD6] = Row(kBad, Op(movq2, kWx, kVx), Reg(Op(movq2, kPm, kUx)), Reg(Op(movq2, kVx, kNm)));
  const char* const cvte6 = "cvttpd2dq//cvtpd2dq/cvtdq2pd";
  r[kRowE6] = Row(kBad, Op(cvte6, kVx, kWx), Op(cvte6, kVx, kWx), Op(cvte6, kVx, kWx));
  return r;
}

}  // namespace

const std::array<OpEntry, 256> kOneByte = BuildOneByte();
const std::array<OpEntry, 256> kTwoByte = BuildTwoByte();
const std::array<GroupRow, kGroupCount> kGroups = BuildGroups();
const std::array<PrefixRow, kPrefixRowCount> kPrefixRows = BuildPrefixRows();

}  // namespace qor::disasm
