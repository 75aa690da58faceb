// The order in which the store takes a module's sources: its own compact
// resource, TD32 information, then the companion files ".map", ".qor" and
// ".jdbg".
#include <gtest/gtest.h>

#include <filesystem>

#include "crash/debuginfo/compact_writer.h"
#include "crash/debuginfo/map_file.h"
#include "crash/debuginfo/testing/debug_tables.h"
#include "crash/debuginfo/testing/jdbg_writer.h"
#include "crash/debuginfo/testing/td32_writer.h"
#include "crash/debuginfo/testing/temp_dir.h"
#include "crash/debuginfo/testing/test_module_image.h"
#include "crash/debuginfo/testing/text_map_writer.h"
#include "crash/modules/testing/mapped_memory.h"

namespace qor {
namespace {

using test::SingleUnit;
using test::WriteFile;

constexpr uint32_t kBase = 0x00400000;

std::vector<uint8_t> Compact(const std::string& unit) {
  CompactTables tables;
  tables.segments.push_back({0, 0x100, unit, false});
  tables.publics.push_back({"Run", 0x10});
  return WriteCompact(tables, {});
}

class MapFileSourcesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir_ / "mod.map", WriteTextMap(SingleUnit("FromMap"), {}));
    WriteFile(dir_ / "mod.qor", Compact("FromQor"));
    WriteFile(dir_ / "mod.jdbg", WriteJdbg(SingleUnit("FromJdbg"), {}));
  }

  // The unit that a module with or without its own resource and TD32 data
  // is loaded with; "" when it has no information.
  std::string LoadedUnit(bool resource, bool td32) {
    test::TestModule module;
    if (resource)
      module.resources.push_back({{0, "QOR"}, {0, "EXCEPT"}, 0, 0, Compact("FromResource")});
    std::vector<uint8_t> image = module.Memory();
    if (td32) test::AttachDebugData(image, WriteTd32(SingleUnit("FromTd32"), {}), true);
    MappedMemory memory;
    memory.Map(kBase, image);
    TMapFile map;
    if (!map.Load(memory, kBase, dir_ / "mod.exe", false)) return "";
    return map.SegmentCount > 0 ? map.Segments[0].UnitName : "(empty)";
  }

  void Remove(const char* file) { std::filesystem::remove(dir_ / file); }

  test::TempDir dir_{"qor_map_file_sources_test"};
};

TEST_F(MapFileSourcesTest, EachSourceServesWhenTheOnesBeforeItAreMissing) {
  EXPECT_EQ(LoadedUnit(true, true), "FromResource");
  EXPECT_EQ(LoadedUnit(false, true), "FromTd32");
  EXPECT_EQ(LoadedUnit(false, false), "FromMap");
  Remove("mod.map");
  EXPECT_EQ(LoadedUnit(false, false), "FromQor");
  Remove("mod.qor");
  EXPECT_EQ(LoadedUnit(false, false), "FromJdbg");
  Remove("mod.jdbg");
  EXPECT_EQ(LoadedUnit(false, false), "");
}

TEST_F(MapFileSourcesTest, AMapThatCanBeReadEndsTheSearchEvenWithNothingInIt) {
  WriteFile(dir_ / "mod.map", std::string_view("not a map\r\n"));
  EXPECT_EQ(LoadedUnit(false, false), "(empty)");
  // An empty file counts as unreadable.
  WriteFile(dir_ / "mod.map", std::string_view());
  EXPECT_EQ(LoadedUnit(false, false), "FromQor");
}

TEST_F(MapFileSourcesTest, DamagedCompanionsFallThroughWithCleanTables) {
  std::vector<uint8_t> jdbg = WriteJdbg(SingleUnit("FromJdbg"), {});
  jdbg[test::kJdbgChecksumAt] ^= 1;
  WriteFile(dir_ / "mod.jdbg", jdbg);
  Remove("mod.map");
  Remove("mod.qor");
  EXPECT_EQ(LoadedUnit(false, false), "");
  WriteFile(dir_ / "mod.jdbg", WriteJdbg(SingleUnit("FromJdbg"), {}));
  WriteFile(dir_ / "mod.tds", std::string_view("FB09\x08\0\0\0\x10\0\x0c\0\x01\0\0\0", 16));
  EXPECT_EQ(LoadedUnit(false, false), "FromJdbg");
}

}  // namespace
}  // namespace qor
