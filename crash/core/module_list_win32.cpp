#include "crash/core/module_list.h"

#include <windows.h>

#include "crash/modules/debug_id.h"
#include "crash/modules/file_version.h"
#include "crash/modules/module_tools.h"
#include "crash/modules/safe_read.h"

namespace qor {

TDAModule EnumModules(bool with_versions) {
  TDAModule modules;
  modules.reserve(10);
  uint64_t address = 0;
  uint32_t previous = 0;
  MEMORY_BASIC_INFORMATION info;
  while (address < 0x100000000ull &&
         VirtualQueryEx(GetCurrentProcess(), reinterpret_cast<void*>(uintptr_t(address)), &info,
                        sizeof info) == sizeof info) {
    const uint32_t base = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(info.BaseAddress));
    const uint32_t allocation =
        static_cast<uint32_t>(reinterpret_cast<uintptr_t>(info.AllocationBase));
    if (info.State == MEM_COMMIT && allocation == base && base != previous) {
      const std::string path = ModuleFileName(base);
      if (!path.empty()) {
        const size_t slash = path.find_last_of('\\');
        TModule module;
        module.Handle = base;
        module.FileName = slash == std::string::npos ? path : path.substr(slash + 1);
        module.Directory = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
        if (with_versions) {
          const uint64_t version = FileVersion(path);
          if (version != 0) module.Version = VersionText(version);
          CodeViewRecord record;
          if (ReadCodeViewRecord(LiveMemory(), base, record)) module.DebugId = DebugIdText(record);
        }
        modules.push_back(std::move(module));
        previous = base;
      }
    }
    if (info.RegionSize == 0) break;
    address = uint64_t{base} + info.RegionSize;
  }
  return modules;
}

}  // namespace qor
