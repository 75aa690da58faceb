#include "crash/modules/eh_tables.h"

#include <gtest/gtest.h>

#include "crash/modules/testing/eh_test_tables.h"
#include "crash/modules/testing/mapped_memory.h"
#include "crash/modules/testing/pe_test_image.h"

namespace qor {
namespace {

constexpr uint32_t kBase = 0x10000000;
constexpr uint32_t kFunction = kBase + 0x1000;
constexpr uint32_t kFrames = kBase + 0x2000;
constexpr uint32_t kLsda = kBase + 0x3000;

// A function of 0x40 bytes whose call at +3 lands at +0x20 and whose call
// at +8 lets exceptions pass.
struct Module {
  std::vector<uint8_t> frames = test::EhFrameSection(kFrames, kFunction, 0x40, kLsda);
  std::vector<uint8_t> lsda = test::LsdaTable({{3, 5, 0x20}, {8, 5, 0}});
  std::string frames_name = ".eh_frame";

  std::vector<LandingPad> PadsAt(uint32_t address) const {
    test::TestPeImage image;
    image.AddSection(0x1000, 0x400, std::vector<uint8_t>(0x40, 0x90), 0x60000020, ".text");
    image.AddSection(0x2000, 0x800, frames, 0x40300040, frames_name);
    image.AddSection(0x3000, 0xC00, lsda, 0x40000040, ".rdata");
    MappedMemory memory;
    memory.Map(kBase, image.Memory());
    return EhFrameIndex(memory, kBase).LandingPadsAt(memory, address);
  }
};

TEST(EhTablesTest, PadsOfTheRecordThatCoversTheAddress) {
  const Module module;
  for (const uint32_t address : {kFunction, kFunction + 0x3F}) {
    const std::vector<LandingPad> pads = module.PadsAt(address);
    ASSERT_EQ(pads.size(), 1u);
    EXPECT_EQ(pads[0].address, kFunction + 0x20);
    EXPECT_EQ(pads[0].call_site, kFunction + 3);
  }
  EXPECT_TRUE(module.PadsAt(kFunction + 0x40).empty());
  EXPECT_TRUE(module.PadsAt(kFunction - 1).empty());
}

TEST(EhTablesTest, SectionIsKnownByItsContentNotOnlyByItsName) {
  Module module;
  module.frames_name = "/4";  // a long name kept in a string table that is not loaded
  EXPECT_EQ(module.PadsAt(kFunction).size(), 1u);
  module.frames_name = ".rdata";
  EXPECT_TRUE(module.PadsAt(kFunction).empty());
  module.frames_name = "/4";
  module.frames[4] = 1;  // no common entry first: no frame records
  EXPECT_TRUE(module.PadsAt(kFunction).empty());
}

TEST(EhTablesTest, RecordWithoutLanguageSpecificDataHasNoPads) {
  Module module;
  module.frames = test::EhFrameSection(kFrames, kFunction, 0x40, 0);
  EXPECT_TRUE(module.PadsAt(kFunction).empty());
}

TEST(EhTablesTest, DamagedTablesGiveNoPadsOrReadOnlyTheirBytes) {
  const Module whole;
  for (size_t size = 0; size < whole.frames.size(); ++size) {
    Module cut = whole;
    cut.frames.resize(size);
    for (const LandingPad& pad : cut.PadsAt(kFunction)) EXPECT_EQ(pad.address, kFunction + 0x20);
  }
  for (size_t at = 0; at < whole.lsda.size(); ++at) {
    Module changed = whole;
    changed.lsda[at] ^= 0xA5;
    changed.PadsAt(kFunction);
    Module cut = whole;
    cut.lsda.resize(at);
    for (const LandingPad& pad : cut.PadsAt(kFunction)) EXPECT_EQ(pad.address, kFunction + 0x20);
  }
}

}  // namespace
}  // namespace qor
