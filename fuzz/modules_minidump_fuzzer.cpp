// Arbitrary bytes as a minidump whose module list is completed with
// CodeView records: the header, directory and module entries are read
// from untrusted offsets and sizes.
#include <cstdint>
#include <vector>

#include "crash/modules/minidump_codeview.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> dump(data, data + size);
  qor::AddMissingCodeViewRecords(dump, [](uint32_t base, std::vector<uint8_t>& record) {
    record.assign(25 + (base & 7), 0x52);
    return (base & 1) == 0;
  });
  return 0;
}
