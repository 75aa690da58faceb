// A file read through the MemoryReader interface, addresses being file
// offsets, so that the PE-image tools can walk a module file on disk
// without reading all of it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "crash/modules/memory_reader.h"

namespace qor {

class FileReader : public MemoryReader {
 public:
  // Opens `path` for reading; IsOpen() tells whether that worked.
  explicit FileReader(const std::string& path);

  bool IsOpen() const { return file_ != nullptr; }
  uint64_t Size() const { return size_; }

  // The bytes at file offset `address`; fewer at the end of the file.
  uint32_t Read(uint32_t address, void* buffer, uint32_t size) const override;
  // A file has no memory regions.
  bool QueryRegion(uint32_t, MemoryRegion&) const override { return false; }

 private:
  struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  std::unique_ptr<std::FILE, Closer> file_;
  uint64_t size_ = 0;
};

}  // namespace qor
