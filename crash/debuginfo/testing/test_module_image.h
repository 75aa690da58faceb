// A loaded PE image for the tests: one or two code sections and a
// resource section, laid out as the loader maps it.
#pragma once

#include <cstdint>
#include <vector>

#include "crash/debuginfo/resource_writer.h"

namespace qor::test {

struct TestModule {
  uint32_t code_rva = 0x1000;
  uint32_t code_size = 0x3000;
  uint32_t second_code_size = 0;  // a second code section right after the first
  uint32_t data_rva = 0x8000;
  uint32_t data_size = 0x1000;
  uint32_t resource_rva = 0xA000;
  std::vector<ResourceItem> resources;

  // SizeOfImage bytes, ready for MappedMemory::Map at the module base.
  std::vector<uint8_t> Memory() const;
};

}  // namespace qor::test
