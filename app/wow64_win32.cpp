#include "app/wow64.h"

#include <windows.h>

namespace app {

bool RunsUnderWow64() {
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  const HMODULE kernel = GetModuleHandleA("kernel32.dll");
  const auto is_wow64 = kernel ? reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void*>(
                                     GetProcAddress(kernel, "IsWow64Process")))
                               : nullptr;
  if (!is_wow64) return false;
  BOOL wow64 = FALSE;
  return !is_wow64(GetCurrentProcess(), &wow64) || wow64;
}

}  // namespace app
