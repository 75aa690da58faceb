#include "crash/modules/free_resources.h"

#include <windows.h>

#include "crash/modules/live_exports.h"
#include "crash/modules/os_version.h"

// Calls a 16-bit far procedure taking one WORD through the system's 32-to-16
// thunk. The thunk copies as arguments whatever lies between ebp - 0x40 and
// esp, so the frame must keep exactly 0x40 bytes free below ebp with the
// WORD pushed under them, and no saved register in between.
extern "C" uint32_t qor_call16_word(uint32_t proc16, void* thunk, uint32_t argument);
__asm__(
    ".text\n"
    ".globl _qor_call16_word\n"
    "_qor_call16_word:\n"
    "  pushl %ebx\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  subl $0x40, %esp\n"
    "  movl 20(%ebp), %edx\n"  // proc16
    "  movl 24(%ebp), %ecx\n"  // thunk
    "  movl 28(%ebp), %eax\n"  // argument
    "  pushw %ax\n"
    "  call *%ecx\n"
    "  movzwl %ax, %eax\n"
    "  movl %ebp, %esp\n"
    "  popl %ebp\n"
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebx\n"
    "  ret\n");

namespace qor {
namespace {

using LoadLibrary16 = uint16_t(WINAPI*)(const char*);
using FreeLibrary16 = void(WINAPI*)(uint16_t);
using GetProcAddress16 = uint32_t(WINAPI*)(uint16_t, const char*);

// The 9x kernel refuses lookups of its own exports by ordinal through the
// system routine, so they are read from its export table.
template <typename T>
T KernelOrdinal(uint32_t kernel, uint32_t ordinal) {
  return reinterpret_cast<T>(uintptr_t{LiveExportAddressByOrdinal(kernel, ordinal)});
}

}  // namespace

uint32_t FreeSystemResources(FreeResourceKind kind) {
  if (!CurrentOs().Is9x) return 0;
  HMODULE kernel_module = GetModuleHandleA("kernel32.dll");
  uint32_t kernel = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(kernel_module));
  auto load = KernelOrdinal<LoadLibrary16>(kernel, 35);
  auto free = KernelOrdinal<FreeLibrary16>(kernel, 36);
  auto find = KernelOrdinal<GetProcAddress16>(kernel, 37);
  void* thunk = reinterpret_cast<void*>(GetProcAddress(kernel_module, "QT_Thunk"));
  if (!kernel || !load || !free || !find || !thunk) return 0;
  uint16_t user = load("user.exe");
  if (user < 32) return 0;  // 16-bit error codes are below 32
  uint32_t proc = find(user, "GetFreeSystemResources");
  uint32_t percent = proc ? qor_call16_word(proc, thunk, kind) : 0;
  free(user);
  return percent;
}

}  // namespace qor
