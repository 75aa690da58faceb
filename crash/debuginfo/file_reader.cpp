#include "crash/debuginfo/file_reader.h"

namespace qor {

FileReader::FileReader(const std::string& path) : file_(std::fopen(path.c_str(), "rb")) {
  if (!file_ || std::fseek(file_.get(), 0, SEEK_END) != 0) {
    file_.reset();
    return;
  }
  const long size = std::ftell(file_.get());
  if (size < 0) {
    file_.reset();
    return;
  }
  size_ = static_cast<uint64_t>(size);
}

uint32_t FileReader::Read(uint32_t address, void* buffer, uint32_t size) const {
  if (!file_ || address >= size_ ||
      std::fseek(file_.get(), static_cast<long>(address), SEEK_SET) != 0) {
    return 0;
  }
  return static_cast<uint32_t>(std::fread(buffer, 1, size, file_.get()));
}

}  // namespace qor
