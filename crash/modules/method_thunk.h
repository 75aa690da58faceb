// A small piece of executable code that turns a method (code and object)
// into a plain stdcall procedure: system callbacks that carry no context can
// then reach an object.
#pragma once

#include <array>
#include <cstdint>

namespace qor {

inline constexpr uint32_t kMethodThunkSize = 17;

// The thunk's bytes when it sits at `thunk_address`: pop the return address,
// push `object` as the first argument, push the return address again and
// jump through the address of `code` stored in the last four bytes.
std::array<uint8_t, kMethodThunkSize> MethodThunkBytes(uint32_t thunk_address, uint32_t object,
                                                       uint32_t code);

// Owns a thunk in executable memory (Windows only). Copying is deleted: the
// memory is released once, by the destructor.
class MethodThunk {
 public:
  MethodThunk() = default;
  MethodThunk(const MethodThunk&) = delete;
  MethodThunk& operator=(const MethodThunk&) = delete;
  ~MethodThunk();

  // Builds the thunk for `code` called with `object` first; false when no
  // executable memory could be had.
  bool Initialize(const void* object, const void* code);

  // The procedure to hand out; nullptr before a successful Initialize.
  void* Procedure() const { return memory_; }

 private:
  void* memory_ = nullptr;
};

}  // namespace qor
