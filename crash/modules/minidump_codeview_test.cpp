#include "crash/modules/minidump_codeview.h"

#include <gtest/gtest.h>

#include "crash/modules/testing/pe_test_image.h"

namespace qor {
namespace {

using test::Put32;

// Header, one directory entry (the module list at 44) and `bases.size()`
// modules; a base of 0x70000000 already carries a record.
std::vector<uint8_t> Dump(const std::vector<uint32_t>& bases) {
  std::vector<uint8_t> d(44 + 4 + 108 * bases.size());
  Put32(d, 0, 0x504D444D);
  Put32(d, 8, 1);
  Put32(d, 12, 32);
  Put32(d, 32, 4);
  Put32(d, 36, static_cast<uint32_t>(4 + 108 * bases.size()));
  Put32(d, 40, 44);
  Put32(d, 44, static_cast<uint32_t>(bases.size()));
  for (size_t i = 0; i < bases.size(); ++i) {
    Put32(d, 48 + 108 * i, bases[i]);
    if (bases[i] == 0x70000000) Put32(d, 48 + 108 * i + 76, 25), Put32(d, 48 + 108 * i + 80, 8);
  }
  d.push_back(0xAB);  // the dump's end is not aligned
  return d;
}

uint32_t At(const std::vector<uint8_t>& d, size_t at) {
  return d[at] | d[at + 1] << 8 | d[at + 2] << 16 | uint32_t{d[at + 3]} << 24;
}

const CodeViewLookup kLookup = [](uint32_t base, std::vector<uint8_t>& record) {
  if (base == 0x7b000000) return false;  // a module without a record
  record.assign(25, static_cast<uint8_t>(base >> 20));
  return true;
};

TEST(MinidumpCodeView, AddsRecordsOnlyWhereTheyAreMissing) {
  std::vector<uint8_t> dump = Dump({0x400000, 0x70000000, 0x7b000000, 0x10000000});
  const size_t end = dump.size();
  EXPECT_EQ(AddMissingCodeViewRecords(dump, kLookup), 2u);
  // The first record starts at the next multiple of four after the end.
  const size_t first = (end + 3) & ~size_t{3};
  EXPECT_EQ(At(dump, 48 + 76), 25u);
  EXPECT_EQ(At(dump, 48 + 80), first);
  EXPECT_EQ(dump[first], 0x04);
  EXPECT_EQ(At(dump, 48 + 108 + 80), 8u);  // kept
  EXPECT_EQ(At(dump, 48 + 216 + 76), 0u);  // none to add
  EXPECT_EQ(At(dump, 48 + 324 + 80), (first + 25 + 3) & ~size_t{3});
  EXPECT_EQ(dump[At(dump, 48 + 324 + 80)], 0x10000000 >> 20 & 0xff);
}

TEST(MinidumpCodeView, LeavesWhatIsNoMinidumpAsItWas) {
  std::vector<uint8_t> wrong = Dump({0x400000});
  wrong[0] = 'X';
  std::vector<uint8_t> truncated = Dump({0x400000, 0x500000});
  truncated.resize(44 + 4 + 108);
  std::vector<uint8_t> counted_past = Dump({0x400000});
  Put32(counted_past, 44, 0x01000000);
  std::vector<uint8_t> directory_past = Dump({0x400000});
  Put32(directory_past, 8, 0x10000000);
  for (std::vector<uint8_t> dump : {wrong, truncated, counted_past, directory_past, std::vector<uint8_t>(8)}) {
    const std::vector<uint8_t> before = dump;
    EXPECT_EQ(AddMissingCodeViewRecords(dump, kLookup), 0u);
    EXPECT_EQ(dump, before);
  }
}

}  // namespace
}  // namespace qor
