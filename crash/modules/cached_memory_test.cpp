#include "crash/modules/cached_memory.h"

#include <gtest/gtest.h>

#include <numeric>

#include "crash/modules/testing/mapped_memory.h"

namespace qor {
namespace {

class CountingMemory : public MappedMemory {
 public:
  uint32_t Read(uint32_t address, void* buffer, uint32_t size) const override {
    ++reads;
    return MappedMemory::Read(address, buffer, size);
  }
  bool QueryRegion(uint32_t address, MemoryRegion& region) const override {
    ++queries;
    return MappedMemory::QueryRegion(address, region);
  }
  mutable int reads = 0;
  mutable int queries = 0;
};

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> bytes(size);
  std::iota(bytes.begin(), bytes.end(), seed);
  return bytes;
}

TEST(CachedMemory, ReturnsWhatTheSourceReturns) {
  CountingMemory source;
  source.Map(0x1000, Pattern(0x2800, 1));   // ends in the middle of a page
  source.Map(0x5010, Pattern(0x100, 7));    // starts in the middle of one
  source.Map(0xfffff000, Pattern(0x1000, 3));  // reaches the top of the space
  CachedMemory cached(source);
  const std::pair<uint32_t, uint32_t> reads[] = {
      {0x1000, 16},  {0x1ff8, 16},   {0x37f0, 0x40}, {0x0ff0, 0x20}, {0x5000, 0x20},
      {0x5010, 0x200}, {0x50f0, 0x20}, {0x1234, 0x2000}, {0xfffffff0, 0x40}, {0x9000, 4},
  };
  for (auto [address, size] : reads) {
    std::vector<uint8_t> expected(size, 0xcc), actual(size, 0xcc);
    uint32_t want = source.Read(address, expected.data(), size);
    EXPECT_EQ(cached.Read(address, actual.data(), size), want) << std::hex << address;
    EXPECT_EQ(actual, expected) << std::hex << address;
  }
}

TEST(CachedMemory, ServesNearbyReadsFromOneBlock) {
  CountingMemory source;
  source.Map(0x10000, Pattern(0x8000, 0));
  CachedMemory cached(source);
  uint8_t byte = 0;
  for (uint32_t at = 0x10000; at < 0x11000; at += 8) ASSERT_EQ(cached.Read(at, &byte, 1), 1u);
  EXPECT_EQ(source.reads, 1);
  // More distinct blocks than the cache holds: old ones are replaced and
  // read again, with the right bytes.
  for (uint32_t at = 0x10000; at < 0x18000; at += 0x800) cached.Read(at, &byte, 1);
  for (uint32_t at = 0x10000; at < 0x18000; at += 0x800) {
    ASSERT_EQ(cached.Read(at, &byte, 1), 1u);
    EXPECT_EQ(byte, static_cast<uint8_t>(at - 0x10000));
  }
}

// A stack walk tests a return address by the bytes just before it, after
// reading forward from elsewhere in the same page; and asks for the region
// of every candidate.
TEST(CachedMemory, ServesEarlierBytesOfAPageAndRepeatedRegions) {
  CountingMemory source;
  source.Map(0x20000, Pattern(0x3000, 0), 0x20, 0x1000000, 0x1f000);
  CachedMemory cached(source);
  uint8_t bytes[8];
  ASSERT_EQ(cached.Read(0x21800, bytes, 1), 1u);
  ASSERT_EQ(cached.Read(0x217f8, bytes, 8), 8u);
  ASSERT_EQ(cached.Read(0x21000, bytes, 8), 8u);
  EXPECT_EQ(bytes[0], static_cast<uint8_t>(0x1000));
  EXPECT_EQ(source.reads, 1);

  MemoryRegion region;
  for (uint32_t at = 0x20000; at < 0x23000; at += 0x100) {
    ASSERT_TRUE(cached.QueryRegion(at, region));
    EXPECT_EQ(region.allocation_base, 0x1f000u);
  }
  EXPECT_EQ(source.queries, 1);
  EXPECT_FALSE(cached.QueryRegion(0x30000, region));
}

}  // namespace
}  // namespace qor
