#include "crash/core/core_module.h"

#include <windows.h>

#include <string>

#include "crash/modules/module_tools.h"

namespace qor {

uint32_t CoreModule() {
  uint32_t base = 0;
  std::string name;
  ModuleOfAddress(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&CoreModule)), base, name);
  return base;
}

bool CoreInExecutable() {
  return CoreModule() == static_cast<uint32_t>(reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)));
}

}  // namespace qor
