// A linked program's file seen as its loaded image: addresses are RVAs, so
// the crash library's image readers (which take a base and a MemoryReader)
// work on the file at base 0.
#pragma once

#include "crash/modules/memory_reader.h"
#include "tools/qor_convert/pe_file.h"

namespace qor::convert {

class PeImageView : public MemoryReader {
 public:
  // Does not take ownership of `pe`, which must outlive the view.
  explicit PeImageView(const PeFile& pe) : pe_(pe) {}

  // The headers read from the start of the file; section bytes from their
  // raw data, zeros past it up to the virtual size; nothing elsewhere.
  uint32_t Read(uint32_t address, void* buffer, uint32_t size) const override;
  bool QueryRegion(uint32_t address, MemoryRegion& region) const override { return false; }

 private:
  const PeFile& pe_;
};

}  // namespace qor::convert
