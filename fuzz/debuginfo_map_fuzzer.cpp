// The text map reader over arbitrary text, then every lookup.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "crash/debuginfo/text_map_reader.h"
#include "fuzz/debuginfo_lookups.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qor::TMapFile map;
  map.BaseOfCode = 0x401000;
  map.TopOfCode = 0x500000;
  map.BaseOfData = 0x500000;
  qor::ReadTextMap(std::string_view(reinterpret_cast<const char*>(data), size), map);
  FuzzLookups(map);
  return 0;
}
