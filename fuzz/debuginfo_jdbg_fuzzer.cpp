// The JDBG reader over arbitrary files, then every lookup.
#include <cstddef>
#include <cstdint>
#include <span>

#include "crash/debuginfo/jdbg_reader.h"
#include "fuzz/debuginfo_lookups.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qor::TMapFile map;
  map.BaseOfCode = 0x401000;
  map.TopOfCode = 0x500000;
  if (qor::ReadJdbg(std::span<const uint8_t>(data, size), map)) FuzzLookups(map);
  return 0;
}
