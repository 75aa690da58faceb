// A read-only stream over a memory block it owns: the compact reader's
// view of a deciphered and unpacked payload.
#pragma once

#include <cstdint>
#include <span>

namespace qor {

class TMiniStream {
 public:
  TMiniStream() = default;
  // Copies `bytes` into a block of its own, positioned at 0. The stream is
  // left empty when the block cannot be allocated.
  explicit TMiniStream(std::span<const uint8_t> bytes);
  ~TMiniStream();
  TMiniStream(const TMiniStream&) = delete;
  TMiniStream& operator=(const TMiniStream&) = delete;

  // Resizes the block: the capacity becomes Size rounded up to a multiple
  // of 8192 (0 frees it) and Position is clipped to the new size. False,
  // with nothing changed, when the size is negative or memory runs out.
  bool SetSize(int32_t size);

  // Copies min(count, Size - Position) bytes and advances; nothing for a
  // negative Position or count. Returns the number of bytes copied.
  int32_t Read(void* buffer, int32_t count);

  const uint8_t* Memory() const { return memory_; }
  int32_t Size() const { return size_; }
  int32_t Capacity() const { return capacity_; }
  int32_t Position() const { return position_; }
  void SetPosition(int32_t position) { position_ = position; }
  int32_t Remaining() const { return position_ < size_ && position_ >= 0 ? size_ - position_ : 0; }

 private:
  uint8_t* memory_ = nullptr;
  int32_t size_ = 0;
  int32_t capacity_ = 0;
  int32_t position_ = 0;
};

}  // namespace qor
