// The memory of another process, read through its handle (Windows only).
#pragma once

#include <windows.h>

#include "crash/modules/memory_reader.h"

namespace qor::trace {

class RemoteMemory : public MemoryReader {
 public:
  // `process` needs PROCESS_VM_READ and PROCESS_QUERY_INFORMATION; this
  // object does not take ownership of it.
  explicit RemoteMemory(HANDLE process) : process_(process) {}

  uint32_t Read(uint32_t address, void* buffer, uint32_t size) const override;
  bool QueryRegion(uint32_t address, MemoryRegion& region) const override;

 private:
  HANDLE process_;
};

}  // namespace qor::trace
