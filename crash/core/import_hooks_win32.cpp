#include "crash/core/import_hooks.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "crash/core/core_module.h"
#include "crash/core/import_table.h"
#include "crash/core/module_list.h"
#include "crash/modules/cached_memory.h"
#include "crash/modules/live_exports.h"
#include "crash/modules/module_tools.h"
#include "crash/modules/os_version.h"
#include "crash/modules/safe_read.h"

namespace qor {
namespace {

constexpr uint32_t kSharedArea = 0x80000000;  // 9x: modules here serve all processes

void* Pointer(uint32_t address) { return reinterpret_cast<void*>(uintptr_t{address}); }

// Swaps the pointer in one table entry (or thunk cell) from `from` to `to`;
// nothing when it no longer holds `from`.
void ReplacePointer(uint32_t slot, uint32_t from, uint32_t to) {
  DWORD old_protect = 0;
  if (!VirtualProtect(Pointer(slot), 4, PAGE_EXECUTE_READWRITE, &old_protect)) return;
  InterlockedCompareExchange(static_cast<volatile LONG*>(Pointer(slot)), static_cast<LONG>(to),
                             static_cast<LONG>(from));
  DWORD ignored = 0;
  VirtualProtect(Pointer(slot), 4, old_protect, &ignored);
}

void ShowInvalidImportTable(uint32_t module) {
  std::string path = ModuleFileName(module);
  const size_t slash = path.find_last_of('\\');
  if (slash != std::string::npos) path.erase(0, slash + 1);
  MessageBoxA(nullptr,
              "The import table is invalid.\r\n\r\nThis way qorExcept can't install the thread "
              "hooks.",
              path.c_str(), MB_OK | MB_ICONERROR);
}

// The cell of an indirect-jump thunk (0xFF 0x25 and the cell's address);
// 0 when `thunk` is none.
uint32_t ThunkCell(uint32_t thunk) {
  uint8_t code[6] = {};
  if (thunk == 0 || !SafeRead(thunk, code, sizeof code) || code[0] != 0xFF || code[1] != 0x25) {
    return 0;
  }
  uint32_t cell = 0;
  std::memcpy(&cell, code + 2, 4);
  return cell;
}

// Leads the import tables from `from` to `to`, and the core's own thunk.
void Redirect(uint32_t own_thunk, uint32_t from, uint32_t to) {
  if (CoreInExecutable()) {
    const bool is_9x = CurrentOs().Is9x;
    for (const TModule& module : EnumModules(false)) {
      if (is_9x && module.Handle >= kSharedArea) continue;
      ReplaceImports(module.Handle, from, to);
    }
  } else {
    ReplaceImports(CoreModule(), from, to);
  }
  const uint32_t cell = ThunkCell(own_thunk);
  uint32_t target = 0;
  if (cell != 0 && SafeRead(cell, &target, 4) && target == from) ReplacePointer(cell, from, to);
}

}  // namespace

bool ReplaceImports(uint32_t module, uint32_t real, uint32_t replacement) {
  std::vector<uint32_t> slots;
  const LiveMemory live;
  const CachedMemory memory(live);
  const ImportScan scan = FindImportSlots(memory, module, real, slots);
  if (scan == ImportScan::kInvalid && module == CoreModule() && IsDebuggerPresent()) {
    ShowInvalidImportTable(module);
  }
  if (scan != ImportScan::kScanned) return false;
  for (uint32_t slot : slots) ReplacePointer(slot, real, replacement);
  return true;
}

bool HookImport(const char* library, const char* routine, uint32_t own_thunk,
                uint32_t replacement, uint32_t& real) {
  if (real != 0) return false;
  const uint32_t module = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(GetModuleHandleA(library)));
  const uint32_t address = module ? LiveExportAddressByName(module, routine) : 0;
  if (address == 0) return false;
  real = address;
  Redirect(own_thunk, real, replacement);
  return true;
}

void UnhookImport(uint32_t own_thunk, uint32_t replacement, uint32_t& real) {
  if (real == 0) return;
  Redirect(own_thunk, replacement, real);
  real = 0;
}

}  // namespace qor
