// A zero-filled block from the platform's local heap, freed on every path.
#pragma once

#include <cstdint>

#include "engine/device_platform.h"

namespace engine {

class LocalBuffer {
 public:
  // Allocates `bytes` zero-filled bytes; data() is nullptr when that failed.
  LocalBuffer(DevicePlatform& platform, uint32_t bytes)
      : platform_(platform), data_(platform.LocalAlloc(kLptr, bytes)), size_(data_ ? bytes : 0) {}
  LocalBuffer(const LocalBuffer&) = delete;
  LocalBuffer& operator=(const LocalBuffer&) = delete;
  ~LocalBuffer() {
    if (data_) platform_.LocalFree(data_);
  }

  uint8_t* data() const { return data_; }
  uint32_t size() const { return size_; }

 private:
  DevicePlatform& platform_;
  uint8_t* data_;
  uint32_t size_;
};

}  // namespace engine
