// The TD32 reader over arbitrary data, and over arbitrary module images
// (inputs that start with "MZ") through their debug directory, as a file
// and as a loaded image; then every lookup.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "crash/debuginfo/td32_reader.h"
#include "crash/debuginfo/td32_source.h"
#include "crash/modules/testing/mapped_memory.h"
#include "fuzz/debuginfo_lookups.h"

namespace {

void SetBases(qor::TMapFile& map) {
  map.BaseOfCode = 0x401000;
  map.TopOfCode = 0x500000;
  map.BaseOfData = 0x500000;
}

void ReadImage(std::span<const uint8_t> input, uint32_t base, bool file_layout) {
  qor::MappedMemory memory;
  memory.Map(base, std::vector<uint8_t>(input.begin(), input.end()));
  qor::TMapFile map;
  SetBases(map);
  if (qor::ReadLinkedTd32(memory, base, file_layout, map)) FuzzLookups(map);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> input(data, size);
  if (size >= 2 && data[0] == 'M' && data[1] == 'Z') {
    ReadImage(input, 0, true);
    ReadImage(input, 0x00400000, false);
    return 0;
  }
  qor::TMapFile map;
  SetBases(map);
  if (qor::ReadTd32(input, map)) FuzzLookups(map);
  return 0;
}
