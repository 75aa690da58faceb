#include "tools/qor_trace/remote_memory_win32.h"

#include <algorithm>

#include "crash/modules/memory_region_win32.h"

namespace qor::trace {
namespace {

constexpr uint32_t kPage = 0x1000;

void* Pointer(uint32_t address) {
  return reinterpret_cast<void*>(uintptr_t{address});
}

}  // namespace

uint32_t RemoteMemory::Read(uint32_t address, void* buffer, uint32_t size) const {
  SIZE_T done = 0;
  if (ReadProcessMemory(process_, Pointer(address), buffer, size, &done)) return size;
  // A read across an unreadable page fails as a whole: take the readable
  // pages before it one by one.
  uint32_t copied = 0;
  while (copied < size) {
    const uint32_t at = address + copied;
    const uint32_t step = std::min(size - copied, kPage - at % kPage);
    if (!ReadProcessMemory(process_, Pointer(at), static_cast<char*>(buffer) + copied, step, &done))
      break;
    copied += step;
  }
  return copied;
}

bool RemoteMemory::QueryRegion(uint32_t address, MemoryRegion& region) const {
  MEMORY_BASIC_INFORMATION info = {};
  if (VirtualQueryEx(process_, Pointer(address), &info, sizeof info) != sizeof info) return false;
  region = ToMemoryRegion(info);
  return true;
}

}  // namespace qor::trace
