#include <windows.h>

#include "crash/debuginfo/debug_info_live.h"
#include "crash/stack/disasm_text.h"

namespace qor {
namespace {

// Reads of this process's memory that never fault: ReadProcessMemory on
// our own handle fails instead of raising on an unreadable page.
class LiveMemory : public MemoryReader {
 public:
  uint32_t Read(uint32_t address, void* buffer, uint32_t size) const override {
    SIZE_T done = 0;
    if (ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<const void*>(uintptr_t{address}),
                          buffer, size, &done)) {
      return static_cast<uint32_t>(done);
    }
    return ReadByteWise(address, buffer, size);
  }

  bool QueryRegion(uint32_t address, MemoryRegion& region) const override {
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(reinterpret_cast<const void*>(uintptr_t{address}), &info, sizeof info) == 0) {
      return false;
    }
    region.base = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(info.BaseAddress));
    region.size = static_cast<uint32_t>(info.RegionSize);
    region.allocation_base = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(info.AllocationBase));
    region.state = info.State;
    region.protect = info.Protect;
    region.type = info.Type;
    return true;
  }

 private:
  // The readable prefix of a read that failed as a whole.
  uint32_t ReadByteWise(uint32_t address, void* buffer, uint32_t size) const {
    uint32_t done = 0;
    for (; done < size; ++done) {
      SIZE_T one = 0;
      if (!ReadProcessMemory(GetCurrentProcess(),
                             reinterpret_cast<const void*>(uintptr_t{address + done}),
                             static_cast<uint8_t*>(buffer) + done, 1, &one) ||
          one != 1) {
        break;
      }
    }
    return done;
  }
};

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

void InstallDebugInfoHooks() {
  procedure_name_hook = LiveProcedureName;
  line_hook = LiveLineAt;
}

void RemoveDebugInfoHooks() {
  procedure_name_hook = nullptr;
  line_hook = nullptr;
  ClearDebugInfoCache();
}

}  // namespace qor
