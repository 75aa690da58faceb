#include "crash/modules/module_tools.h"

#include <windows.h>

#include "crash/modules/os_version.h"
#include "crash/modules/safe_read.h"

namespace qor {
namespace {

constexpr DWORD kMaxPath = 260;

HMODULE Module(uint32_t base) { return reinterpret_cast<HMODULE>(uintptr_t{base}); }

}  // namespace

std::string ModuleFileName(uint32_t base) {
  if (CurrentOs().Is9x) {
    char name[kMaxPath + 1];
    DWORD length = GetModuleFileNameA(Module(base), name, kMaxPath);
    return std::string(name, length);
  }
  wchar_t wide[kMaxPath + 1];
  DWORD length = GetModuleFileNameW(Module(base), wide, kMaxPath);
  if (length == 0) return {};
  // The system's code page keeps every character that the rest of the
  // report can show; cutting each character to its low byte would not.
  char name[kMaxPath * 2 + 1];
  int bytes = WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(length), name,
                                  sizeof name - 1, nullptr, nullptr);
  return std::string(name, bytes > 0 ? bytes : 0);
}

bool ModuleOfAddress(uint32_t address, uint32_t& base, std::string& file_name) {
  MemoryRegion region;
  if (!LiveMemory().QueryRegion(address, region) || region.state != MEM_COMMIT ||
      region.allocation_base == 0) {
    return false;
  }
  std::string name = ModuleFileName(region.allocation_base);
  if (name.empty()) return false;
  base = region.allocation_base;
  file_name = std::move(name);
  return true;
}

std::string ResourceAsString(uint32_t module, const char* type, const char* name) {
  HRSRC info = FindResourceA(Module(module), name, type);
  if (info == nullptr) return {};
  // A loaded resource belongs to its module and is never freed separately.
  HGLOBAL loaded = LoadResource(Module(module), info);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  DWORD size = SizeofResource(Module(module), info);
  if (bytes == nullptr || size == 0) return {};
  return std::string(static_cast<const char*>(bytes), size);
}

}  // namespace qor
