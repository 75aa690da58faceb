#include "crash/modules/read_probe.h"

#include <gtest/gtest.h>

#include <vector>

namespace qor {
namespace {

// Reports a fixed list of regions, as the system's query does for an
// address space: every address belongs to exactly one region.
class RegionList : public MemoryReader {
 public:
  explicit RegionList(std::vector<MemoryRegion> regions) : regions_(std::move(regions)) {}
  uint32_t Read(uint32_t, void*, uint32_t) const override { return 0; }
  bool QueryRegion(uint32_t address, MemoryRegion& region) const override {
    ++queries;
    for (const MemoryRegion& r : regions_) {
      if (address >= r.base && address - r.base < r.size) {
        region = r;
        return true;
      }
    }
    return false;
  }
  mutable int queries = 0;

 private:
  std::vector<MemoryRegion> regions_;
};

constexpr uint32_t kCommit = 0x1000, kReserve = 0x2000, kFree = 0x10000;

MemoryRegion Region(uint32_t base, uint32_t size, uint32_t state, uint32_t protect) {
  return MemoryRegion{base, size, base, state, protect, 0};
}

TEST(ReadProbe, MergesNeighboursOfEqualReadabilityUpTo2GB) {
  RegionList space({
      Region(0x00000000, 0x10000, kFree, 0x01),
      Region(0x00010000, 0x1000, kCommit, 0x04),
      Region(0x00011000, 0x2000, kCommit, 0x20),
      Region(0x00013000, 0x1000, kCommit, 0x104),
      Region(0x00014000, 0x1000, kReserve, 0),
      Region(0x00015000, 0x7ffeb000, kCommit, 0x02),
      Region(0x80000000, 0x1000, kCommit, 0x02),  // kernel space: not walked
  });
  TDATryRead snapshot = StartReadProbe(space);
  ASSERT_EQ(snapshot.size(), 4u);
  EXPECT_EQ(snapshot[0].begin, 0u);
  EXPECT_EQ(snapshot[0].end, 0x10000u);
  EXPECT_FALSE(snapshot[0].readable);
  EXPECT_EQ(snapshot[1].begin, 0x10000u);
  EXPECT_EQ(snapshot[1].end, 0x13000u);
  EXPECT_TRUE(snapshot[1].readable);
  EXPECT_EQ(snapshot[2].end, 0x15000u);
  EXPECT_FALSE(snapshot[2].readable);
  EXPECT_EQ(snapshot[3].end, 0x80000000u);
  EXPECT_EQ(space.queries, 6);
}

TEST(ReadProbe, StopsAtAFailedQueryOrARegionThatDoesNotAdvance) {
  RegionList gap({Region(0, 0x1000, kCommit, 0x04), Region(0x3000, 0x1000, kCommit, 0x04)});
  EXPECT_EQ(StartReadProbe(gap).size(), 1u);
  RegionList stuck({Region(0, 0, kCommit, 0x04)});
  EXPECT_TRUE(StartReadProbe(stuck).empty());
}

TEST(ReadProbe, FindsTheEntryOfEveryAddress) {
  // Alternating entries of varied lengths, checked against a linear search
  // at every boundary and between them.
  TDATryRead snapshot;
  uint32_t at = 0x1000;
  for (int i = 0; i < 37; ++i) {
    uint32_t length = 0x1000 * (1 + i % 5);
    snapshot.push_back({at, at + length, i % 2 == 0});
    at += length;
  }
  for (uint32_t address = 0; address < at + 0x2000; address += 0x800) {
    const TryReadEntry* expected = nullptr;
    for (const TryReadEntry& e : snapshot) {
      if (address >= e.begin && address < e.end) expected = &e;
    }
    EXPECT_EQ(FindTryRead(snapshot, address), expected) << std::hex << address;
    EXPECT_EQ(SnapshotAllowsRead(snapshot, address), expected && expected->readable);
  }
  EXPECT_EQ(FindTryRead(TDATryRead{}, 0x1000), nullptr);
}

TEST(ReadProbe, WriteCopyPagesOfModulesAreReadable) {
  for (uint32_t protect : {0x08u, 0x80u, 0x02u, 0x40u})
    EXPECT_TRUE(IsReadableRegion(Region(0x400000, 0x1000, kCommit, protect))) << protect;
  for (uint32_t protect : {0x01u, 0x102u, 0x108u})  // no access, guard pages
    EXPECT_FALSE(IsReadableRegion(Region(0x400000, 0x1000, kCommit, protect))) << protect;
  EXPECT_FALSE(IsReadableRegion(Region(0x400000, 0x1000, kReserve, 0x08)));
}

}  // namespace
}  // namespace qor
