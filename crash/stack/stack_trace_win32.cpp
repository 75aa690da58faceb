#include "crash/stack/stack_trace_win32.h"

#include <windows.h>

#include <span>

#include "crash/debuginfo/debug_info_live.h"
#include "crash/modules/cached_memory.h"
#include "crash/stack/code_location.h"
#include "crash/disasm/function_listing_win32.h"
#include "crash/modules/live_exports.h"
#include "crash/modules/module_tools.h"
#include "crash/modules/os_version.h"
#include "crash/modules/safe_read.h"
#include "crash/stack/stack_trace.h"
#include "runtime/raise.h"

namespace qor {
namespace {

uint32_t Address(const void* pointer) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer));
}

// What the loader and the system know about this process.
class LiveProcessFacts : public ProcessFacts {
 public:
  bool ModuleFileName(uint32_t base, std::string& name) const override {
    name = qor::ModuleFileName(base);
    return !name.empty();
  }
  uint32_t MainModuleBase() const override { return Address(GetModuleHandleA(nullptr)); }
  bool Is9x() const override { return CurrentOs().Is9x != 0; }
  uint32_t DispatchMessageAddress() const override {
    static const uint32_t address = [] {
      const HMODULE user32 = GetModuleHandleA("user32.dll");
      return user32 ? LiveExportAddressByName(Address(user32), "DispatchMessageA") : 0;
    }();
    return address;
  }
  std::shared_ptr<const TMapFile> DebugInfoAt(uint32_t address) const override {
    return LiveDebugInfo(address);
  }
};

// A C++ exception inside a phase went through the raise routine, which
// kept the place of its throw.
uint32_t RaisedAddress() { return runtime::LastRaise().address; }

StackTraceContext LiveContext(const MemoryReader& memory) {
  static const LiveProcessFacts facts;
  return StackTraceContext{memory, facts, OwnRoutines(), RaisedAddress};
}

// StackBase of the thread information block, which fs addresses.
uint32_t StackBaseOfThisThread() {
  uint32_t base = 0;
  asm("movl %%fs:4, %0" : "=r"(base));
  return base;
}

// The packed list with its length, read safely: a list that cannot be read
// as a whole is not used.
std::span<const uint8_t> PreparedList(const void* prepared_stack) {
  if (!prepared_stack) return {};
  uint32_t count = 0;
  if (!SafeRead(Address(prepared_stack), &count, sizeof(count))) return {};
  const uint64_t size = 4 + uint64_t{count} * 5;
  if (size > 0x10000000u || IsBadReadPtr(prepared_stack, static_cast<UINT_PTR>(size))) return {};
  return {static_cast<const uint8_t*>(prepared_stack), static_cast<size_t>(size)};
}

}  // namespace

__attribute__((noinline)) std::string TraceStack(
    bool hide_useless_items, bool show_relative_addresses, bool show_relative_lines,
    uint32_t current_address, bool is_exception, bool exact_address, uint32_t stack_bottom,
    uint32_t stack_top, uint32_t creator_address, uint32_t* function_entry_out,
    uint32_t* code_address_out, TProgress* progress, uint32_t frame_pointer,
    bool skip_chain_optimisation, const void* prepared_stack, bool no_current_item) {
  if (function_entry_out) *function_entry_out = 0;
  if (code_address_out) *code_address_out = 0;
  if (current_address == 0 && !is_exception) current_address = Address(__builtin_return_address(0));
  // This frame and everything above it: the return address into the caller
  // is the first candidate.
  if (stack_bottom == 0) stack_bottom = Address(__builtin_frame_address(0));
  if (stack_top == 0) stack_top = StackBaseOfThisThread();
  if (stack_bottom > stack_top ||
      IsBadReadPtr(reinterpret_cast<const void*>(uintptr_t{stack_bottom}), stack_top - stack_bottom)) {
    return {};
  }
  const TDATryRead snapshot = StartReadProbe();
  const LiveMemory live(&snapshot);
  // Every safe read is a system call; the trace reads the same code, export
  // tables and stack blocks over and over, none of which change meanwhile
  // (the walker's own frames lie below the scanned range).
  const CachedMemory memory(live);
  return TraceStack(LiveContext(memory), hide_useless_items, show_relative_addresses,
                    show_relative_lines, current_address, is_exception, exact_address,
                    stack_bottom, stack_top, creator_address, function_entry_out,
                    code_address_out, progress, frame_pointer, skip_chain_optimisation,
                    PreparedList(prepared_stack), no_current_item);
}

std::string FormatCodeLocation(uint32_t address) {
  const LiveMemory live;
  const CachedMemory memory(live);
  return FormatCodeLocation(LiveContext(memory), address);
}

}  // namespace qor
