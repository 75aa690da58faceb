// Instruction text against hand-written lines: every operand kind, the
// template syntax, padding, prefixes, "db" lines and comments.
#include <gtest/gtest.h>

#include <vector>

#include "crash/disasm/disasm_comment.h"
#include "crash/disasm/disasm_text.h"
#include "crash/modules/testing/mapped_memory.h"

namespace qor {
namespace {

constexpr uint32_t kCode = 0x401000;

struct TextCase {
  std::vector<uint8_t> bytes;
  const char* line;
};

std::string Text(const MemoryReader& memory, uint32_t address, const TextContext* context = nullptr) {
  CodeInfo info;
  return InstructionText(memory, address, nullptr, info, context);
}

TEST(DisasmTextTest, Lines) {
  const TextCase cases[] = {
      {{0x89, 0xD8}, "00401000   mov     eax, ebx"},
      {{0x8B, 0x45, 0xF0}, "00401000   mov     eax, [ebp-$10]"},
      {{0x8B, 0x45, 0x09}, "00401000   mov     eax, [ebp+9]"},
      {{0x8B, 0x85, 0x70, 0xFF, 0xFF, 0xFF}, "00401000   mov     eax, [ebp-$90]"},
      {{0x8B, 0x80, 0x00, 0x10, 0x00, 0x00}, "00401000   mov     eax, [eax+$1000]"},
      {{0xC7, 0x45, 0xF0, 0x05, 0x00, 0x00, 0x00}, "00401000   mov     dword ptr [ebp-$10], 5"},
      {{0x8B, 0x04, 0x8D, 0x00, 0x10, 0x40, 0x00}, "00401000   mov     eax, [ecx*4+$401000]"},
      {{0x8B, 0x44, 0x24, 0x04}, "00401000   mov     eax, [esp+4]"},
      {{0x8B, 0x04, 0x24}, "00401000   mov     eax, [esp]"},
      {{0x8B, 0x44, 0x98, 0xFC}, "00401000   mov     eax, [eax+ebx*4-4]"},
      {{0x8D, 0x04, 0x40}, "00401000   lea     eax, [eax+eax*2]"},
      {{0x8D, 0x44, 0x24, 0x10}, "00401000   lea     eax, [esp+$10]"},
      {{0xA1, 0x00, 0x20, 0x40, 0x00}, "00401000   mov     eax, [$402000]"},
      {{0xA2, 0x00, 0x20, 0x40, 0x00}, "00401000   mov     [$402000], al"},
      {{0x64, 0xA1, 0x18, 0x00, 0x00, 0x00}, "00401000   mov     eax, fs:[$18]"},
      {{0x64, 0x8B, 0x00}, "00401000   mov     eax, fs:[eax]"},
      {{0x3E, 0x8B, 0x00}, "00401000   mov     eax, ds:[eax]"},
      {{0x66, 0x8B, 0x03}, "00401000   mov     ax, [ebx]"},
      {{0x8A, 0x07}, "00401000   mov     al, [edi]"},
      {{0x88, 0x65, 0xFF}, "00401000   mov     [ebp-1], ah"},
      {{0x0F, 0xB6, 0x45, 0x08}, "00401000   movzx   eax, byte ptr [ebp+8]"},
      {{0x0F, 0xBF, 0xC1}, "00401000   movsx   eax, cx"},
      {{0x67, 0x8B, 0x46, 0x10}, "00401000   mov     eax, [bp+$10]"},
      {{0x67, 0x8B, 0x00}, "00401000   mov     eax, [bx+si]"},
      {{0x67, 0x8B, 0x42, 0xFE}, "00401000   mov     eax, [bp+si-2]"},
      {{0x67, 0xA1, 0x34, 0x12}, "00401000   mov     eax, [$1234]"},
      {{0x83, 0xC4, 0xF0}, "00401000   add     esp, -$10"},
      {{0x83, 0xE4, 0xF8}, "00401000   and     esp, -8"},
      {{0x81, 0xEC, 0x00, 0x01, 0x00, 0x00}, "00401000   sub     esp, $100"},
      {{0x81, 0xE1, 0x00, 0xFF, 0xFF, 0xFF}, "00401000   and     ecx, -$100"},
      {{0x80, 0x38, 0x41}, "00401000   cmp     byte ptr [eax], $41"},
      {{0x66, 0x83, 0x38, 0xFF}, "00401000   cmp     word ptr [eax], -1"},
      {{0x6B, 0xC0, 0x0C}, "00401000   imul    eax, eax, $c"},
      {{0x69, 0xC0, 0xF6, 0xFF, 0xFF, 0xFF}, "00401000   imul    eax, eax, -$a"},
      {{0x0F, 0xAF, 0xC1}, "00401000   imul    eax, ecx"},
      {{0x6A, 0xFF}, "00401000   push    -1"},
      {{0x6A, 0x05}, "00401000   push    5"},
      {{0x68, 0x00, 0x10, 0x40, 0x00}, "00401000   push    $401000"},
      {{0xB8, 0x0A, 0x00, 0x00, 0x00}, "00401000   mov     eax, $a"},
      {{0xB0, 0x09}, "00401000   mov     al, 9"},
      {{0x66, 0xB8, 0xFF, 0xFF}, "00401000   mov     ax, $ffff"},
      {{0xA8, 0x80}, "00401000   test    al, $80"},
      {{0x3C, 0x0A}, "00401000   cmp     al, $a"},
      {{0x05, 0x10, 0x00, 0x00, 0x00}, "00401000   add     eax, $10"},
      {{0x66, 0x05, 0x10, 0x00}, "00401000   add     ax, $10"},
      {{0xC2, 0x08, 0x00}, "00401000   ret     8"},
      {{0xC3}, "00401000   ret"},
      {{0xCB}, "00401000   retf"},
      {{0xC8, 0x10, 0x00, 0x01}, "00401000   enter   $10, 1"},
      {{0xC9}, "00401000   leave"},
      {{0xCC}, "00401000   int     3"},
      {{0xCD, 0x2E}, "00401000   int     $2e"},
      {{0xE8, 0xFB, 0x0F, 0x00, 0x00}, "00401000   call    +$ffb ($402000)"},
      {{0xE8, 0x00, 0x00, 0x00, 0x00}, "00401000   call    +0 ($401005)"},
      {{0xEB, 0xFE}, "00401000   jmp     -2 ($401000)"},
      {{0xE9, 0x00, 0xF0, 0xFF, 0xFF}, "00401000   jmp     -$1000 ($400005)"},
      {{0x74, 0x05}, "00401000   jz      +5 ($401007)"},
      {{0x75, 0xF0}, "00401000   jnz     -$10 ($400ff2)"},
      {{0x0F, 0x8F, 0x00, 0x01, 0x00, 0x00}, "00401000   jg      +$100 ($401106)"},
      {{0x0F, 0x82, 0x00, 0x00, 0x00, 0x00}, "00401000   jb      +0 ($401006)"},
      {{0x77, 0x00}, "00401000   ja      +0 ($401002)"},
      {{0xE2, 0xFE}, "00401000   loop    -2 ($401000)"},
      {{0xE3, 0x02}, "00401000   jecxz   +2 ($401004)"},
      {{0xFF, 0xD0}, "00401000   call    eax"},
      {{0xFF, 0x24, 0x85, 0x00, 0x20, 0x40, 0x00}, "00401000   jmp     dword ptr [eax*4+$402000]"},
      {{0xFF, 0x75, 0x08}, "00401000   push    dword ptr [ebp+8]"},
      {{0xFF, 0x18}, "00401000   call    [eax]"},
      {{0x9A, 0x00, 0x10, 0x40, 0x00, 0x1B, 0x00}, "00401000   call    $1b:$401000"},
      {{0xEA, 0x00, 0x10, 0x40, 0x00, 0x08, 0x00}, "00401000   jmp     $8:$401000"},
      {{0xD1, 0xE0}, "00401000   shl     eax, 1"},
      {{0xD3, 0xE8}, "00401000   shr     eax, cl"},
      {{0xC1, 0xF8, 0x1F}, "00401000   sar     eax, $1f"},
      {{0xD1, 0x20}, "00401000   shl     dword ptr [eax], 1"},
      {{0xD2, 0x20}, "00401000   shl     byte ptr [eax], cl"},
      {{0x0F, 0xA5, 0xC2}, "00401000   shld    edx, eax, cl"},
      {{0x0F, 0xAC, 0xD0, 0x04}, "00401000   shrd    eax, edx, 4"},
      {{0xF7, 0xD8}, "00401000   neg     eax"},
      {{0xF7, 0xD0}, "00401000   not     eax"},
      {{0xF6, 0x45, 0x08, 0x01}, "00401000   test    byte ptr [ebp+8], 1"},
      {{0xF7, 0xC1, 0x00, 0x00, 0x01, 0x00}, "00401000   test    ecx, $10000"},
      {{0xF7, 0x75, 0x08}, "00401000   div     dword ptr [ebp+8]"},
      {{0xF7, 0xE9}, "00401000   imul    ecx"},
      {{0xFE, 0xC0}, "00401000   inc     al"},
      {{0xFE, 0x08}, "00401000   dec     byte ptr [eax]"},
      {{0xFF, 0x00}, "00401000   inc     dword ptr [eax]"},
      {{0x40}, "00401000   inc     eax"},
      {{0x4F}, "00401000   dec     edi"},
      {{0x50}, "00401000   push    eax"},
      {{0x5D}, "00401000   pop     ebp"},
      {{0x8F, 0x00}, "00401000   pop     dword ptr [eax]"},
      {{0x06}, "00401000   push    es"},
      {{0x0E}, "00401000   push    cs"},
      {{0x1F}, "00401000   pop     ds"},
      {{0x17}, "00401000   pop     ss"},
      {{0x0F, 0xA0}, "00401000   push    fs"},
      {{0x0F, 0xA9}, "00401000   pop     gs"},
      {{0x60}, "00401000   pushad"},
      {{0x66, 0x60}, "00401000   pusha"},
      {{0x9C}, "00401000   pushfd"},
      {{0x66, 0x9D}, "00401000   popf"},
      {{0x98}, "00401000   cwde"},
      {{0x66, 0x98}, "00401000   cbw"},
      {{0x99}, "00401000   cdq"},
      {{0x66, 0x99}, "00401000   cwd"},
      {{0xA4}, "00401000   movsb"},
      {{0xF3, 0xA5}, "00401000   rep movsd"},
      {{0xF3, 0x66, 0xA5}, "00401000   rep movsw"},
      {{0xF2, 0xAE}, "00401000   repne scasb"},
      {{0xF3, 0xAB}, "00401000   rep stosd"},
      {{0x66, 0xAD}, "00401000   lodsw"},
      {{0xA7}, "00401000   cmpsd"},
      {{0x6C}, "00401000   insb"},
      {{0x6F}, "00401000   outsd"},
      {{0xF3, 0x90}, "00401000   rep nop"},
      {{0xF3, 0xC3}, "00401000   rep ret"},
      {{0xF0, 0x0F, 0xB1, 0x0A}, "00401000   lock cmpxchg [edx], ecx"},
      {{0xF0, 0xFF, 0x00}, "00401000   lock inc dword ptr [eax]"},
      {{0xF0, 0x0F, 0xC1, 0x01}, "00401000   lock xadd [ecx], eax"},
      {{0x87, 0xD9}, "00401000   xchg    ecx, ebx"},
      {{0x91}, "00401000   xchg    ecx, eax"},
      {{0x90}, "00401000   nop"},
      {{0x8C, 0xD8}, "00401000   mov     eax, ds"},
      {{0x8E, 0xD8}, "00401000   mov     ds, ax"},
      {{0x8C, 0x18}, "00401000   mov     [eax], ds"},
      {{0xE4, 0x60}, "00401000   in      al, $60"},
      {{0xEC}, "00401000   in      al, dx"},
      {{0xEF}, "00401000   out     dx, eax"},
      {{0xE6, 0x80}, "00401000   out     $80, al"},
      {{0xD4, 0x0A}, "00401000   aam"},
      {{0xD5, 0x0A}, "00401000   aad"},
      {{0xD4, 0x10}, "00401000   aam     $10"},
      {{0xD6}, "00401000   salc"},
      {{0xD7}, "00401000   xlat"},
      {{0xF1}, "00401000   int1"},
      {{0xF4}, "00401000   hlt"},
      {{0x9B}, "00401000   wait"},
      {{0x0F, 0x20, 0xC0}, "00401000   mov     eax, cr0"},
      {{0x0F, 0x22, 0xD8}, "00401000   mov     cr3, eax"},
      {{0x0F, 0x23, 0xF8}, "00401000   mov     dr7, eax"},
      {{0x0F, 0x94, 0xC0}, "00401000   setz    al"},
      {{0x0F, 0x97, 0x00}, "00401000   seta    byte ptr [eax]"},
      {{0x0F, 0x4C, 0xC1}, "00401000   cmovl   eax, ecx"},
      {{0x0F, 0x40, 0x00}, "00401000   cmovo   eax, [eax]"},
      {{0x0F, 0xA3, 0xC8}, "00401000   bt      eax, ecx"},
      {{0x0F, 0xBA, 0xE8, 0x05}, "00401000   bts     eax, 5"},
      {{0x0F, 0xBC, 0xC1}, "00401000   bsf     eax, ecx"},
      {{0x0F, 0xC8}, "00401000   bswap   eax"},
      {{0x0F, 0xCF}, "00401000   bswap   edi"},
      {{0x0F, 0x01, 0x10}, "00401000   lgdt    [eax]"},
      {{0x0F, 0x01, 0x08}, "00401000   sidt    [eax]"},
      {{0x0F, 0x00, 0xC0}, "00401000   sldt    ax"},
      {{0x0F, 0x00, 0x18}, "00401000   ltr     word ptr [eax]"},
      {{0x0F, 0x01, 0xE0}, "00401000   smsw    eax"},
      {{0x0F, 0x01, 0x38}, "00401000   invlpg  [eax]"},
      {{0x0F, 0xC7, 0x0E}, "00401000   cmpxchg8b qword ptr [esi]"},
      {{0x0F, 0x02, 0xC1}, "00401000   lar     eax, cx"},
      {{0x0F, 0x03, 0x00}, "00401000   lsl     eax, word ptr [eax]"},
      {{0x62, 0x00}, "00401000   bound   eax, [eax]"},
      {{0xC4, 0x00}, "00401000   les     eax, [eax]"},
      {{0x0F, 0xB2, 0x00}, "00401000   lss     eax, [eax]"},
      {{0x0F, 0x0B}, "00401000   ud2"},
      {{0x0F, 0x31}, "00401000   rdtsc"},
      {{0x0F, 0xA2}, "00401000   cpuid"},
      {{0x0F, 0x34}, "00401000   sysenter"},
      {{0x0F, 0x1F, 0x44, 0x00, 0x00}, "00401000   nop     dword ptr [eax+eax+0]"},
      {{0x66, 0x0F, 0x1F, 0x44, 0x00, 0x00}, "00401000   nop     word ptr [eax+eax+0]"},
      {{0xD9, 0x45, 0x08}, "00401000   fld     dword ptr [ebp+8]"},
      {{0xDD, 0x1C, 0x24}, "00401000   fstp    qword ptr [esp]"},
      {{0xDB, 0x2D, 0x00, 0x20, 0x40, 0x00}, "00401000   fld     tbyte ptr [$402000]"},
      {{0xDF, 0x6D, 0xF0}, "00401000   fild    qword ptr [ebp-$10]"},
      {{0xDF, 0x45, 0xFE}, "00401000   fild    word ptr [ebp-2]"},
      {{0xDA, 0x45, 0x08}, "00401000   fiadd   dword ptr [ebp+8]"},
      {{0xDE, 0xC1}, "00401000   faddp   st(1), st"},
      {{0xD8, 0xC1}, "00401000   fadd    st, st(1)"},
      {{0xD8, 0xE1}, "00401000   fsub    st, st(1)"},
      {{0xD8, 0xE9}, "00401000   fsubr   st, st(1)"},
      {{0xDC, 0xE9}, "00401000   fsub    st(1), st"},
      {{0xDC, 0xE1}, "00401000   fsubr   st(1), st"},
      {{0xDC, 0xF9}, "00401000   fdiv    st(1), st"},
      {{0xDE, 0xF9}, "00401000   fdivp   st(1), st"},
      {{0xDE, 0xE9}, "00401000   fsubp   st(1), st"},
      {{0xD8, 0xD1}, "00401000   fcom    st(1)"},
      {{0xD9, 0xC9}, "00401000   fxch    st(1)"},
      {{0xD9, 0xC0}, "00401000   fld     st(0)"},
      {{0xDD, 0xD8}, "00401000   fstp    st(0)"},
      {{0xDD, 0xE1}, "00401000   fucom   st(1)"},
      {{0xDD, 0xC1}, "00401000   ffree   st(1)"},
      {{0xD9, 0xE8}, "00401000   fld1"},
      {{0xD9, 0xEE}, "00401000   fldz"},
      {{0xD9, 0xE0}, "00401000   fchs"},
      {{0xD9, 0xE1}, "00401000   fabs"},
      {{0xD9, 0xE4}, "00401000   ftst"},
      {{0xD9, 0xE5}, "00401000   fxam"},
      {{0xD9, 0xFA}, "00401000   fsqrt"},
      {{0xD9, 0xF0}, "00401000   f2xm1"},
      {{0xD9, 0xFF}, "00401000   fcos"},
      {{0xD9, 0xD0}, "00401000   fnop"},
      {{0xDF, 0xE0}, "00401000   fnstsw  ax"},
      {{0xDB, 0xE3}, "00401000   fninit"},
      {{0xDB, 0xE2}, "00401000   fnclex"},
      {{0xDA, 0xE9}, "00401000   fucompp"},
      {{0xDE, 0xD9}, "00401000   fcompp"},
      {{0xDA, 0xC1}, "00401000   fcmovb  st, st(1)"},
      {{0xDB, 0xD1}, "00401000   fcmovnbe st, st(1)"},
      {{0xDB, 0xE9}, "00401000   fucomi  st, st(1)"},
      {{0xDF, 0xF1}, "00401000   fcomip  st, st(1)"},
      {{0xD9, 0x7D, 0xFE}, "00401000   fnstcw  word ptr [ebp-2]"},
      {{0xD9, 0x6D, 0xFE}, "00401000   fldcw   word ptr [ebp-2]"},
      {{0xDD, 0x7D, 0xFE}, "00401000   fnstsw  word ptr [ebp-2]"},
      {{0xDD, 0x65, 0x00}, "00401000   frstor  [ebp+0]"},
      {{0xD9, 0x30}, "00401000   fnstenv [eax]"},
      {{0xDF, 0x30}, "00401000   fbstp   tbyte ptr [eax]"},
      {{0xDF, 0x20}, "00401000   fbld    tbyte ptr [eax]"},
      {{0xDF, 0x38}, "00401000   fistp   qword ptr [eax]"},
      {{0xDB, 0x18}, "00401000   fistp   dword ptr [eax]"},
      {{0xDC, 0x00}, "00401000   fadd    qword ptr [eax]"},
      {{0x0F, 0x6F, 0xC1}, "00401000   movq    mm0, mm1"},
      {{0x66, 0x0F, 0x6F, 0xC1}, "00401000   movdqa  xmm0, xmm1"},
      {{0xF3, 0x0F, 0x6F, 0x00}, "00401000   movdqu  xmm0, [eax]"},
      {{0x0F, 0x7F, 0x00}, "00401000   movq    [eax], mm0"},
      {{0x66, 0x0F, 0x7F, 0x00}, "00401000   movdqa  [eax], xmm0"},
      {{0x0F, 0x6E, 0xC0}, "00401000   movd    mm0, eax"},
      {{0x66, 0x0F, 0x6E, 0xC0}, "00401000   movd    xmm0, eax"},
      {{0x0F, 0x7E, 0xC0}, "00401000   movd    eax, mm0"},
      {{0x66, 0x0F, 0x7E, 0xC0}, "00401000   movd    eax, xmm0"},
      {{0xF3, 0x0F, 0x7E, 0xC1}, "00401000   movq    xmm0, xmm1"},
      {{0x66, 0x0F, 0xD6, 0xC1}, "00401000   movq    xmm1, xmm0"},
      {{0xF2, 0x0F, 0xD6, 0xC1}, "00401000   movdq2q mm0, xmm1"},
      {{0xF3, 0x0F, 0xD6, 0xC1}, "00401000   movq2dq xmm0, mm1"},
      {{0x0F, 0x58, 0xC1}, "00401000   addps   xmm0, xmm1"},
      {{0x66, 0x0F, 0x58, 0xC1}, "00401000   addpd   xmm0, xmm1"},
      {{0xF2, 0x0F, 0x58, 0xC1}, "00401000   addsd   xmm0, xmm1"},
      {{0xF3, 0x0F, 0x58, 0xC1}, "00401000   addss   xmm0, xmm1"},
      {{0xF3, 0x0F, 0x59, 0x00}, "00401000   mulss   xmm0, [eax]"},
      {{0x0F, 0x10, 0x00}, "00401000   movups  xmm0, [eax]"},
      {{0x66, 0x0F, 0x10, 0x00}, "00401000   movupd  xmm0, [eax]"},
      {{0xF2, 0x0F, 0x10, 0x00}, "00401000   movsd   xmm0, [eax]"},
      {{0xF3, 0x0F, 0x11, 0x00}, "00401000   movss   [eax], xmm0"},
      {{0x0F, 0x28, 0xC1}, "00401000   movaps  xmm0, xmm1"},
      {{0x66, 0x0F, 0x29, 0x00}, "00401000   movapd  [eax], xmm0"},
      {{0x0F, 0x12, 0xC1}, "00401000   movhlps xmm0, xmm1"},
      {{0x0F, 0x12, 0x00}, "00401000   movlps  xmm0, [eax]"},
      {{0x66, 0x0F, 0x12, 0x00}, "00401000   movlpd  xmm0, [eax]"},
      {{0x0F, 0x13, 0x00}, "00401000   movlps  [eax], xmm0"},
      {{0x0F, 0x16, 0xC1}, "00401000   movlhps xmm0, xmm1"},
      {{0x0F, 0x16, 0x00}, "00401000   movhps  xmm0, [eax]"},
      {{0x66, 0x0F, 0x17, 0x00}, "00401000   movhpd  [eax], xmm0"},
      {{0x0F, 0x14, 0xC1}, "00401000   unpcklps xmm0, xmm1"},
      {{0x66, 0x0F, 0x15, 0xC1}, "00401000   unpckhpd xmm0, xmm1"},
      {{0x0F, 0x5A, 0xC1}, "00401000   cvtps2pd xmm0, xmm1"},
      {{0x66, 0x0F, 0x5A, 0xC1}, "00401000   cvtpd2ps xmm0, xmm1"},
      {{0xF2, 0x0F, 0x5A, 0xC1}, "00401000   cvtsd2ss xmm0, xmm1"},
      {{0xF3, 0x0F, 0x5A, 0xC1}, "00401000   cvtss2sd xmm0, xmm1"},
      {{0x0F, 0x5B, 0xC1}, "00401000   cvtdq2ps xmm0, xmm1"},
      {{0x66, 0x0F, 0x5B, 0xC1}, "00401000   cvtps2dq xmm0, xmm1"},
      {{0xF3, 0x0F, 0x5B, 0xC1}, "00401000   cvttps2dq xmm0, xmm1"},
      {{0x66, 0x0F, 0xE6, 0xC1}, "00401000   cvttpd2dq xmm0, xmm1"},
      {{0xF2, 0x0F, 0xE6, 0xC1}, "00401000   cvtpd2dq xmm0, xmm1"},
      {{0xF3, 0x0F, 0xE6, 0xC1}, "00401000   cvtdq2pd xmm0, xmm1"},
      {{0xF2, 0x0F, 0x2A, 0xC0}, "00401000   cvtsi2sd xmm0, eax"},
      {{0xF3, 0x0F, 0x2A, 0x00}, "00401000   cvtsi2ss xmm0, [eax]"},
      {{0x0F, 0x2A, 0xC1}, "00401000   cvtpi2ps xmm0, mm1"},
      {{0xF2, 0x0F, 0x2C, 0xC0}, "00401000   cvttsd2si eax, xmm0"},
      {{0xF3, 0x0F, 0x2D, 0xC0}, "00401000   cvtss2si eax, xmm0"},
      {{0x0F, 0x2D, 0xC1}, "00401000   cvtps2pi mm0, xmm1"},
      {{0x0F, 0x2F, 0xC1}, "00401000   comiss  xmm0, xmm1"},
      {{0x66, 0x0F, 0x2E, 0xC1}, "00401000   ucomisd xmm0, xmm1"},
      {{0x0F, 0x51, 0xC1}, "00401000   sqrtps  xmm0, xmm1"},
      {{0xF3, 0x0F, 0x52, 0xC1}, "00401000   rsqrtss xmm0, xmm1"},
      {{0x0F, 0x54, 0xC1}, "00401000   andps   xmm0, xmm1"},
      {{0x66, 0x0F, 0x57, 0xC0}, "00401000   xorpd   xmm0, xmm0"},
      {{0xF2, 0x0F, 0x5D, 0xC1}, "00401000   minsd   xmm0, xmm1"},
      {{0x0F, 0xC2, 0xC1, 0x02}, "00401000   cmpps   xmm0, xmm1, 2"},
      {{0x66, 0x0F, 0xC6, 0xC1, 0x01}, "00401000   shufpd  xmm0, xmm1, 1"},
      {{0x0F, 0x70, 0xC1, 0x1B}, "00401000   pshufw  mm0, mm1, $1b"},
      {{0x66, 0x0F, 0x70, 0xC1, 0x1B}, "00401000   pshufd  xmm0, xmm1, $1b"},
      {{0xF2, 0x0F, 0x70, 0xC1, 0x1B}, "00401000   pshuflw xmm0, xmm1, $1b"},
      {{0xF3, 0x0F, 0x70, 0xC1, 0x1B}, "00401000   pshufhw xmm0, xmm1, $1b"},
      {{0x0F, 0x71, 0xD0, 0x04}, "00401000   psrlw   mm0, 4"},
      {{0x66, 0x0F, 0x71, 0xE0, 0x04}, "00401000   psraw   xmm0, 4"},
      {{0x0F, 0x72, 0xE0, 0x02}, "00401000   psrad   mm0, 2"},
      {{0x0F, 0x72, 0xF0, 0x02}, "00401000   pslld   mm0, 2"},
      {{0x0F, 0x73, 0xD0, 0x20}, "00401000   psrlq   mm0, $20"},
      {{0x66, 0x0F, 0x73, 0xD8, 0x08}, "00401000   psrldq  xmm0, 8"},
      {{0x66, 0x0F, 0x73, 0xF8, 0x08}, "00401000   pslldq  xmm0, 8"},
      {{0x0F, 0xEF, 0xC0}, "00401000   pxor    mm0, mm0"},
      {{0x66, 0x0F, 0xEF, 0xC0}, "00401000   pxor    xmm0, xmm0"},
      {{0x0F, 0x60, 0xC1}, "00401000   punpcklbw mm0, mm1"},
      {{0x66, 0x0F, 0x6C, 0xC1}, "00401000   punpcklqdq xmm0, xmm1"},
      {{0x0F, 0x74, 0x00}, "00401000   pcmpeqb mm0, [eax]"},
      {{0x0F, 0xD4, 0xC1}, "00401000   paddq   mm0, mm1"},
      {{0x66, 0x0F, 0xFE, 0xC1}, "00401000   paddd   xmm0, xmm1"},
      {{0x0F, 0xF5, 0xC1}, "00401000   pmaddwd mm0, mm1"},
      {{0x0F, 0xF7, 0xC1}, "00401000   maskmovq mm0, mm1"},
      {{0x66, 0x0F, 0xF7, 0xC1}, "00401000   maskmovdqu xmm0, xmm1"},
      {{0x0F, 0xE7, 0x00}, "00401000   movntq  [eax], mm0"},
      {{0x66, 0x0F, 0xE7, 0x00}, "00401000   movntdq [eax], xmm0"},
      {{0x0F, 0x2B, 0x00}, "00401000   movntps [eax], xmm0"},
      {{0x0F, 0xC3, 0x00}, "00401000   movnti  [eax], eax"},
      {{0x0F, 0xC5, 0xC1, 0x03}, "00401000   pextrw  eax, mm1, 3"},
      {{0x0F, 0xC4, 0xC0, 0x03}, "00401000   pinsrw  mm0, eax, 3"},
      {{0x0F, 0x50, 0xC1}, "00401000   movmskps eax, xmm1"},
      {{0x0F, 0xD7, 0xC1}, "00401000   pmovmskb eax, mm1"},
      {{0x0F, 0x77}, "00401000   emms"},
      {{0x0F, 0xAE, 0x15, 0x00, 0x20, 0x40, 0x00}, "00401000   ldmxcsr dword ptr [$402000]"},
      {{0x0F, 0xAE, 0x18}, "00401000   stmxcsr dword ptr [eax]"},
      {{0x0F, 0xAE, 0xF8}, "00401000   sfence"},
      {{0x0F, 0xAE, 0xE8}, "00401000   lfence"},
      {{0x0F, 0xAE, 0xF0}, "00401000   mfence"},
      {{0x0F, 0xAE, 0x38}, "00401000   clflush [eax]"},
      {{0x0F, 0xAE, 0x00}, "00401000   fxsave  [eax]"},
      {{0x0F, 0xAE, 0x08}, "00401000   fxrstor [eax]"},
      {{0x0F, 0x18, 0x00}, "00401000   prefetchnta [eax]"},
      {{0x0F, 0x18, 0x08}, "00401000   prefetcht0 [eax]"},
      {{0x0F, 0x0D, 0x00}, "00401000   prefetch [eax]"},
      {{0x0F, 0x0D, 0x08}, "00401000   prefetchw [eax]"},
      {{0x0F, 0x0F, 0xC1, 0x9E}, "00401000   pfadd   mm0, mm1"},
      {{0x0F, 0x0F, 0x00, 0xB4}, "00401000   pfmul   mm0, [eax]"},
      {{0x0F, 0x0F, 0xC1, 0xBF}, "00401000   pavgusb mm0, mm1"},
      {{0x0F, 0x0F, 0xC1, 0x0D}, "00401000   pi2fd   mm0, mm1"},
      {{0x0F, 0x0E}, "00401000   femms"},
  };
  for (const TextCase& c : cases) {
    MappedMemory memory;
    memory.Map(kCode, c.bytes);
    EXPECT_EQ(Text(memory, kCode), c.line) << ::testing::PrintToString(c.bytes);
  }
}

TEST(DisasmTextTest, InvalidBytesBecomeDbLines) {
  MappedMemory memory;
  memory.Map(kCode, {0x0F, 0x24, 0xC0});  // unused two-byte row
  EXPECT_EQ(Text(memory, kCode), "00401000   db $0f\r\n00401001   db $24");
  memory.Map(0x402000, {0xFF, 0x15, 0x00, 0x00, 0x50, 0x00});  // unreadable cell
  EXPECT_EQ(Text(memory, 0x402000),
            "00402000   db $ff\r\n00402001   db $15\r\n00402002   db $00\r\n"
            "00402003   db $00\r\n00402004   db $50\r\n00402005   db $00");
  EXPECT_EQ(Text(memory, 0x500000), "00500000   db ??");
}

// A process of two modules: the program at $400000 and a system library
// with one export.
class DisasmCommentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    context_.own_module = 0x400000;
    context_.module_of = [](uint32_t address, ModuleInfo& module) {
      if (address >= 0x400000 && address < 0x410000) {
        module = {0x400000, 0x10000, "C:\\app\\prog.exe"};
        return true;
      }
      if (address >= 0x7c800000 && address < 0x7c900000) {
        module = {0x7c800000, 0x100000, "C:\\WINDOWS\\system32\\kernel32.dll"};
        return true;
      }
      return false;
    };
    context_.export_name = [](uint32_t module, uint32_t address) {
      return module == 0x7c800000 && address == 0x7c801000 ? std::string("ExitProcess")
                                                            : std::string();
    };
    procedure_name_hook = [](uint32_t address) {
      if (address == 0x402000) return std::string("Main.Run");
      if (address == 0x402010) return std::string("Main.(placeholder)");
      return std::string();
    };
  }
  void TearDown() override { procedure_name_hook = nullptr; }

  std::string Line(std::vector<uint8_t> bytes) {
    memory_.Map(kCode, std::move(bytes));
    return Text(memory_, kCode, &context_);
  }

  MappedMemory memory_;
  TextContext context_;
};

TEST_F(DisasmCommentTest, NamesOfCallTargets) {
  memory_.Map(0x402100, {0xFF, 0x25, 0x00, 0x30, 0x40, 0x00});  // import thunk
  memory_.Map(0x403000, {0x00, 0x10, 0x80, 0x7c});            // its cell
  memory_.Map(0x7c801000, {0xC3});
  EXPECT_EQ(Line({0xE8, 0xFB, 0x0F, 0x00, 0x00}),
            "00401000   call    +$ffb ($402000)        ; Main.Run");
  EXPECT_EQ(Line({0xFF, 0x15, 0x00, 0x30, 0x40, 0x00}),
            "00401000   call    dword ptr [$403000]    ; ExitProcess (kernel32.dll)");
  EXPECT_EQ(Line({0xE8, 0xFB, 0x10, 0x00, 0x00}),
            "00401000   call    +$10fb ($402100)       ; ExitProcess (kernel32.dll)");
  // Names with parentheses are not shown; unknown targets get no comment.
  EXPECT_EQ(Line({0xE8, 0x0B, 0x10, 0x00, 0x00}), "00401000   call    +$100b ($402010)");
  EXPECT_EQ(Line({0xE8, 0xFB, 0x1F, 0x00, 0x00}), "00401000   call    +$1ffb ($403000)");
}

TEST_F(DisasmCommentTest, TextThatConstantsPointTo) {
  const std::string hello = "Hello, world";
  memory_.Map(0x404000, std::vector<uint8_t>(hello.begin(), hello.end() + 1));
  memory_.Map(0x404100, {0x00, 0x40, 0x40, 0x00});  // a pointer to the text
  EXPECT_EQ(Line({0x68, 0x00, 0x40, 0x40, 0x00}),
            "00401000   push    $404000                ; 'Hello, world'");
  EXPECT_EQ(Line({0x8B, 0x0D, 0x00, 0x41, 0x40, 0x00}),
            "00401000   mov     ecx, [$404100]         ; 'Hello, world'");
  // Outside the module, or too close to its end: no comment.
  EXPECT_EQ(Line({0x68, 0x00, 0x40, 0x50, 0x00}), "00401000   push    $504000");
  EXPECT_EQ(Line({0x68, 0xA0, 0xFF, 0x40, 0x00}), "00401000   push    $40ffa0");
}

TEST(DisasmTextHeuristicTest, JudgesText) {
  struct Case {
    const char* bytes;
    bool text;
  };
  const Case cases[] = {
      {"Hello", true},
      {"abc", false},                 // three characters are too few
      {"C:\\dir\\file.txt", true},
      {"a.b.c.d.e", false},           // punctuation outweighs letters
      {"!!!!abcd", false},
      {"abcd~~", false},              // high characters
      {"abcdefghij~", false},          // exactly at the limit
      {"abcdefghijk~", true},
      {"ab\tcd", false},              // control characters give up
      {"line\nrest", true},           // a line feed ends the text
  };
  for (const Case& c : cases) {
    std::string text;
    const std::string bytes = c.bytes;
    EXPECT_EQ(LooksLikeText(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), text),
              c.text)
        << c.bytes;
  }
}

}  // namespace
}  // namespace qor
