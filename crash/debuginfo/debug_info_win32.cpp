#include <windows.h>

#include "crash/debuginfo/debug_info_live.h"
#include "crash/modules/guarded_call.h"
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

// Every lookup runs guarded: it is asked while a failure is handled, and a
// fault inside it only means that there is nothing to say.
std::shared_ptr<const TMapFile> LiveDebugInfo(uint32_t address) {
  if (address == 0) {
    address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)));
  }
  static const LiveMemory memory;
  std::shared_ptr<const TMapFile> map;
  if (!Guarded([&] { map = DebugInfoForAddress(memory, address, ModuleFileName); }) || !map) {
    return std::make_shared<const TMapFile>();
  }
  return map;
}

bool LiveAddressInfo(uint32_t address, AddressInfo& info) {
  if (address == 0) return false;
  const auto map = LiveDebugInfo(address);
  bool found = false;
  return Guarded([&] { found = GetAddressInfo(*map, address, info); }) && found;
}

std::string LiveProcedureName(uint32_t address) {
  const auto map = LiveDebugInfo(address);
  std::string name;
  if (!Guarded([&] { name = ProcedureNameAt(*map, address); })) return {};
  return name;
}

void LiveLineAt(uint32_t address, int32_t& line, uint32_t& range_start, uint32_t& range_end) {
  if (address == 0) return;
  const auto map = LiveDebugInfo(address);
  if (!Guarded([&] { LineAtCached(*map, address, line, range_start, range_end); })) line = 0;
}

}  // namespace qor
