#include "crash/modules/method_thunk.h"

#include <windows.h>

#include <cstring>

namespace qor {
namespace {

uint32_t Address(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

}  // namespace

MethodThunk::~MethodThunk() {
  if (memory_) VirtualFree(memory_, 0, MEM_RELEASE);
}

bool MethodThunk::Initialize(const void* object, const void* code) {
  if (memory_ == nullptr) {
    memory_ = VirtualAlloc(nullptr, kMethodThunkSize, MEM_COMMIT | MEM_RESERVE,
                           PAGE_EXECUTE_READWRITE);
    if (memory_ == nullptr) return false;
  }
  auto bytes = MethodThunkBytes(Address(memory_), Address(object), Address(code));
  std::memcpy(memory_, bytes.data(), bytes.size());
  FlushInstructionCache(GetCurrentProcess(), memory_, bytes.size());
  return true;
}

}  // namespace qor
