// Raw inflation: the first two bytes give the expected length, the rest is
// the stream.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "crash/attach/raw_deflate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t expected = data[0] | data[1] << 8;
  std::vector<uint8_t> out(expected);
  const size_t produced = qor::InflateRaw(data + 2, size - 2, out.data(), expected);
  if (produced != 0 && produced != expected) std::abort();
  return 0;
}
