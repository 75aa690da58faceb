#include "crash/debuginfo/mini_stream.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace qor {
namespace {
constexpr int64_t kGranule = 8192;
}

TMiniStream::TMiniStream(std::span<const uint8_t> bytes) {
  if (bytes.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) return;
  if (!SetSize(static_cast<int32_t>(bytes.size()))) return;
  if (!bytes.empty()) std::memcpy(memory_, bytes.data(), bytes.size());
}

TMiniStream::~TMiniStream() { std::free(memory_); }

bool TMiniStream::SetSize(int32_t size) {
  if (size < 0) return false;
  const int64_t rounded = (int64_t{size} + kGranule - 1) / kGranule * kGranule;
  if (rounded > std::numeric_limits<int32_t>::max()) return false;
  if (rounded == 0) {
    std::free(memory_);
    memory_ = nullptr;
  } else if (rounded != capacity_) {
    void* grown = std::realloc(memory_, static_cast<size_t>(rounded));
    if (!grown) return false;
    memory_ = static_cast<uint8_t*>(grown);
  }
  capacity_ = static_cast<int32_t>(rounded);
  size_ = size;
  if (position_ > size_) position_ = size_;
  return true;
}

int32_t TMiniStream::Read(void* buffer, int32_t count) {
  if (position_ < 0 || count < 0) return 0;
  const int32_t take = count < Remaining() ? count : Remaining();
  if (take > 0) std::memcpy(buffer, memory_ + position_, static_cast<size_t>(take));
  position_ += take;
  return take;
}

}  // namespace qor
