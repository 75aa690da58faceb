#include "crash/debuginfo/td32_source.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "crash/debuginfo/testing/debug_tables.h"
#include "crash/debuginfo/testing/td32_writer.h"
#include "crash/debuginfo/testing/temp_dir.h"
#include "crash/debuginfo/testing/test_module_image.h"
#include "crash/debuginfo/testing/text_map_writer.h"
#include "crash/modules/testing/mapped_memory.h"

namespace qor {
namespace {

using test::DebugTables;
using test::SingleUnit;
using test::TablesOf;
using test::WriteFile;

constexpr uint32_t kBase = 0x00400000;

class Td32SourceTest : public ::testing::Test {
 protected:
  // Loads the module `image` as mapped at kBase from the file name
  // "mod.exe" in the test's folder.
  TMapFile& Load(const std::vector<uint8_t>& image, const std::string& file = "mod.exe") {
    memory_.Map(kBase, image);
    map_.Load(memory_, kBase, dir_ / file, false);
    return map_;
  }

  void SetFileDay(const std::string& file, int days_back) {
    std::filesystem::last_write_time(dir_ / file, std::filesystem::file_time_type::clock::now() -
                                                      std::chrono::hours(24 * days_back));
  }

  test::TempDir dir_{"qor_td32_source_test"};
  MappedMemory memory_;
  TMapFile map_;
};

TEST_F(Td32SourceTest, DataLoadedWithTheModuleIsReadInPlace) {
  std::vector<uint8_t> image = test::TestModule{}.Memory();
  test::AttachDebugData(image, WriteTd32(SingleUnit("Loaded"), {}), true);
  ASSERT_TRUE(Load(image).Valid);
  EXPECT_EQ(TablesOf(map_), SingleUnit("Loaded"));
  EXPECT_EQ(map_.LineAt(kBase + 0x1010), 12);
}

// The linker leaves TD32 data unloaded: it is then read from the module
// file, through the same debug directory.
TEST_F(Td32SourceTest, DataNotLoadedIsReadFromTheModuleFile) {
  std::vector<uint8_t> image = test::TestModule{}.Memory();
  test::AttachDebugData(image, WriteTd32(SingleUnit("OnDisk"), {}), false);
  EXPECT_FALSE(Load(image).Valid) << "no module file yet";
  WriteFile(dir_ / "mod.exe", image);
  TMapFile again;
  ASSERT_TRUE(again.Load(memory_, kBase, dir_ / "mod.exe", false));
  EXPECT_EQ(TablesOf(again), SingleUnit("OnDisk"));
}

TEST_F(Td32SourceTest, TdsFileBesideTheModuleUnlessOlderByADayThanTheMap) {
  WriteFile(dir_ / "mod.tds", WriteTd32(SingleUnit("FromTds"), {}));
  WriteFile(dir_ / "mod.map", WriteTextMap(SingleUnit("FromMap"), {}));
  SetFileDay("mod.tds", 0);
  SetFileDay("mod.map", 0);
  ASSERT_TRUE(Load(test::TestModule{}.Memory()).Valid);
  EXPECT_EQ(map_.Segments[0].UnitName, "FromTds") << "same day";

  SetFileDay("mod.tds", 1);
  TMapFile outdated;
  ASSERT_TRUE(outdated.Load(memory_, kBase, dir_ / "mod.exe", false));
  EXPECT_EQ(outdated.Segments[0].UnitName, "FromMap") << "a day older than the map";

  std::filesystem::remove(dir_ / "mod.map");
  TMapFile without_map;
  ASSERT_TRUE(without_map.Load(memory_, kBase, dir_ / "mod.exe", false));
  EXPECT_EQ(without_map.Segments[0].UnitName, "FromTds") << "no map to be older than";
}

TEST_F(Td32SourceTest, BareTdsFileIsReadFromItsStart) {
  WriteFile(dir_ / "debug.TDS", WriteTd32(SingleUnit("Bare"), {}));
  TMapFile map;
  ASSERT_TRUE(map.Load(memory_, 0, dir_ / "debug.TDS", false));
  EXPECT_EQ(map.Segments[0].UnitName, "Bare");
}

// Two code sections put line offsets of the second one out of reach, so
// neither the loaded data nor a ".tds" file is read.
TEST_F(Td32SourceTest, ModulesWithTwoCodeSectionsAreNotRead) {
  test::TestModule module;
  module.second_code_size = 0x1000;
  std::vector<uint8_t> image = module.Memory();
  test::AttachDebugData(image, WriteTd32(SingleUnit("Loaded"), {}), true);
  WriteFile(dir_ / "mod.tds", WriteTd32(SingleUnit("FromTds"), {}));
  EXPECT_FALSE(Load(image).Valid);
  test::AttachDebugData(image, WriteTd32(SingleUnit("OnDisk"), {}), false);
  WriteFile(dir_ / "two.exe", image);
  TMapFile from_file;
  EXPECT_FALSE(from_file.Load(memory_, kBase, dir_ / "two.exe", false));
}

}  // namespace
}  // namespace qor
