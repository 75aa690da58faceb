#include <windows.h>

#include "crash/debuginfo/debug_info_live.h"
#include "crash/modules/safe_read.h"

namespace qor {
namespace {

bool ModuleFileName(uint32_t base, std::string& name) {
  char buffer[MAX_PATH + 1];
  const DWORD length = GetModuleFileNameA(reinterpret_cast<HMODULE>(uintptr_t{base}), buffer,
                                          MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  name.assign(buffer, length);
  return true;
}

}  // namespace

std::shared_ptr<const TMapFile> LiveDebugInfo(uint32_t address) {
  if (address == 0) {
    address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)));
  }
  static const LiveMemory memory;
  return DebugInfoForAddress(memory, address, ModuleFileName);
}

bool LiveAddressInfo(uint32_t address, AddressInfo& info) {
  if (address == 0) return false;
  return GetAddressInfo(*LiveDebugInfo(address), address, info);
}

std::string LiveProcedureName(uint32_t address) {
  return ProcedureNameAt(*LiveDebugInfo(address), address);
}

void LiveLineAt(uint32_t address, int32_t& line, uint32_t& range_start, uint32_t& range_end) {
  if (address == 0) return;
  LineAtCached(*LiveDebugInfo(address), address, line, range_start, range_end);
}

}  // namespace qor
