// The x87 escape opcodes 0xD8..0xDF and the 3DNow! suffix names.
#include "crash/disasm/disasm_tables.h"

namespace qor::disasm {

namespace {
constexpr uint8_t kAll = 0xFF;
constexpr uint8_t kRm0 = 0x01;
constexpr uint8_t kRm1 = 0x02;
}  // namespace

// Memory sizes: 2 word, 4 dword, 8 qword, 10 tbyte, 0 environment or state
// images, whose size the mnemonic already says.
const std::array<X87Escape, 8> kX87Escapes = {{
    // Register forms of 0xD8 keep the order of its memory forms; only 0xDC
    // (below) swaps sub/subr and div/divr for st(i) as destination.
    {"add|mul|com|comp|sub|subr|div|divr|add|mul|com|comp|sub|subr|div|divr", kAll,
     {4, 4, 4, 4, 4, 4, 4, 4},
     {kAll, kAll, kAll, kAll, kAll, kAll, kAll, kAll},
     {kX87StSti, kX87StSti, kX87Sti, kX87Sti, kX87StSti, kX87StSti, kX87StSti, kX87StSti}},
    {"ld||st|stp|ldenv|ldcw|nstenv|nstcw|ld|xch|nop|stp1|chs-abs---tst-xam|"
     "ld1-ldl2t-ldl2e-ldpi-ldlg2-ldln2-ldz|2xm1-yl2x-ptan-patan-xtract-prem1-decstp-incstp|"
     "prem-yl2xp1-sqrt-sincos-rndint-scale-sin-cos",
     0xFD, {4, 0, 4, 4, 0, 2, 0, 2},
     {kAll, kAll, kRm0, kAll, 0x33, 0x7F, kAll, kAll},
     {kX87Sti, kX87Sti, kX87None, kX87Sti, kX87None, kX87None, kX87None, kX87None}},
    {"iadd|imul|icom|icomp|isub|isubr|idiv|idivr|cmovb|cmove|cmovbe|cmovu||ucompp", kAll,
     {4, 4, 4, 4, 4, 4, 4, 4},
     {kAll, kAll, kAll, kAll, 0, kRm1, 0, 0},
     {kX87StSti, kX87StSti, kX87StSti, kX87StSti, kX87None, kX87None, kX87None, kX87None}},
    {"ild||ist|istp||ld||stp|cmovnb|cmovne|cmovnbe|cmovnu|neni-ndisi-nclex-ninit-nsetpm|ucomi|"
     "comi",
     0xAD, {4, 0, 4, 4, 0, 10, 0, 10},
     {kAll, kAll, kAll, kAll, 0x1F, kAll, kAll, 0},
     {kX87StSti, kX87StSti, kX87StSti, kX87StSti, kX87None, kX87StSti, kX87StSti, kX87None}},
    {"add|mul|com|comp|sub|subr|div|divr|add|mul|com|comp|subr|sub|divr|div", kAll,
     {8, 8, 8, 8, 8, 8, 8, 8},
     {kAll, kAll, kAll, kAll, kAll, kAll, kAll, kAll},
     {kX87StiSt, kX87StiSt, kX87Sti, kX87Sti, kX87StiSt, kX87StiSt, kX87StiSt, kX87StiSt}},
    {"ld||st|stp|rstor||nsave|nstsw|free|xch4|st|stp|ucom|ucomp", 0xDD,
     {8, 0, 8, 8, 0, 0, 0, 2},
     {kAll, kAll, kAll, kAll, kAll, kAll, 0, 0},
     {kX87Sti, kX87Sti, kX87Sti, kX87Sti, kX87Sti, kX87Sti, kX87None, kX87None}},
    {"iadd|imul|icom|icomp|isub|isubr|idiv|idivr|addp|mulp|comp5|compp|subrp|subp|divrp|divp",
     kAll, {2, 2, 2, 2, 2, 2, 2, 2},
     {kAll, kAll, kAll, kRm1, kAll, kAll, kAll, kAll},
     {kX87StiSt, kX87StiSt, kX87Sti, kX87None, kX87StiSt, kX87StiSt, kX87StiSt, kX87StiSt}},
    {"ild||ist|istp|bld|ild|bstp|istp|freep|xch7|stp8|stp9|nstsw  ax|ucomip|comip", 0xFD,
     {2, 0, 2, 2, 10, 8, 10, 8},
     {kAll, kAll, kAll, kAll, kRm0, kAll, kAll, 0},
     {kX87Sti, kX87Sti, kX87Sti, kX87Sti, kX87None, kX87StSti, kX87StSti, kX87None}},
}};

const char* ThreeDNowName(uint8_t suffix) {
  switch (suffix) {
    case 0x0C: return "pi2fw";
    case 0x0D: return "pi2fd";
    case 0x1C: return "pf2iw";
    case 0x1D: return "pf2id";
    case 0x8A: return "pfnacc";
    case 0x8E: return "pfpnacc";
    case 0x90: return "pfcmpge";
    case 0x94: return "pfmin";
    case 0x96: return "pfrcp";
    case 0x97: return "pfrsqrt";
    case 0x9A: return "pfsub";
    case 0x9E: return "pfadd";
    case 0xA0: return "pfcmpgt";
    case 0xA4: return "pfmax";
    case 0xA6: return "pfrcpit1";
    case 0xA7: return "pfrsqit1";
    case 0xAA: return "pfsubr";
    case 0xAE: return "pfacc";
    case 0xB0: return "pfcmpeq";
    case 0xB4: return "pfmul";
    case 0xB6: return "pfrcpit2";
    case 0xB7: return "pmulhrw";
    case 0xBB: return "pswapd";
    case 0xBF: return "pavgusb";
    default: return nullptr;
  }
}

}  // namespace qor::disasm
