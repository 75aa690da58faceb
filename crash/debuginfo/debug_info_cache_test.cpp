#include "crash/debuginfo/debug_info_cache.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "crash/debuginfo/compact_writer.h"
#include "crash/debuginfo/file_stamp.h"
#include "crash/debuginfo/testing/test_module_image.h"
#include "crash/modules/testing/mapped_memory.h"

namespace qor {
namespace {

constexpr uint32_t kWithInfo = 0x00400000;
constexpr uint32_t kWithout = 0x10000000;

std::string g_module_path;

bool TestModuleName(uint32_t base, std::string& name) {
  name = g_module_path + (base == kWithInfo ? "with.exe" : "without.exe");
  return true;
}

class DebugInfoCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / "qor_debuginfo_cache_test";
    std::filesystem::create_directories(dir_);
    g_module_path = (dir_ / "").string();
    std::ofstream(dir_ / "with.exe") << "module";
    std::ofstream(dir_ / "without.exe") << "module";
    CompactTables tables;
    tables.segments.push_back({0, 0x100, "main.cpp", false});
    tables.publics.push_back({"main", 0x10});
    tables.lines.push_back({12, 0x10});
    test::TestModule with;
    with.resources.push_back({{0, "QOR"}, {0, "EXCEPT"}, 0, 0, WriteCompact(tables, {})});
    memory_.Map(kWithInfo, with.Memory(), 0x20, 0x1000000, kWithInfo);
    memory_.Map(kWithout, test::TestModule{}.Memory(), 0x20, 0x1000000, kWithout);
    ClearDebugInfoCache();
  }
  void TearDown() override {
    ClearDebugInfoCache();
    std::filesystem::remove_all(dir_);
  }

  std::filesystem::path dir_;
  MappedMemory memory_;
};

TEST_F(DebugInfoCacheTest, SameObjectUntilTheFileStampChanges) {
  const auto first = DebugInfoForAddress(memory_, kWithInfo + 0x1010, TestModuleName);
  ASSERT_TRUE(first->Valid);
  EXPECT_EQ(first->PublicAt(kWithInfo + 0x1020).Name, "main");
  EXPECT_EQ(DebugInfoForAddress(memory_, kWithInfo + 0x1080, TestModuleName), first);

  // Replacing the file moves its last-write time: the next lookup loads again,
  // and the holder of the old object can still use it.
  const auto path = dir_ / "with.exe";
  std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) + std::chrono::hours(1));
  const auto second = DebugInfoForAddress(memory_, kWithInfo + 0x1010, TestModuleName);
  EXPECT_NE(second, first);
  EXPECT_TRUE(second->Valid);
  EXPECT_EQ(first->LineAt(kWithInfo + 0x1010), 12);
  EXPECT_EQ(DebugInfoForAddress(memory_, kWithInfo + 0x1010, TestModuleName), second);
}

TEST_F(DebugInfoCacheTest, ModulesWithoutInformationGiveFreshInvalidObjects) {
  const auto first = DebugInfoForAddress(memory_, kWithout + 0x1010, TestModuleName);
  EXPECT_FALSE(first->Valid);
  EXPECT_NE(DebugInfoForAddress(memory_, kWithout + 0x1010, TestModuleName), first);
  EXPECT_FALSE(DebugInfoForAddress(memory_, 0x20000000, TestModuleName)->Valid);
  AddressInfo info;
  EXPECT_FALSE(GetAddressInfo(*first, kWithout + 0x1010, info));
}

TEST(FileStampTest, PacksDosDateLowAndTimeHigh) {
  const auto path = std::filesystem::temp_directory_path() / "qor_file_stamp_test";
  std::ofstream(path) << "x";
  using namespace std::chrono;
  // 2024-02-29 13:45:58 UTC
  const sys_seconds when = sys_days{year_month_day{std::chrono::year{2024}, month{2}, day{29}}} +
                          hours{13} + minutes{45} + seconds{58};
  std::filesystem::last_write_time(path, file_clock::from_sys(when));
  uint32_t stamp = 0;
  ASSERT_TRUE(FileStamp(path.string(), stamp));
  EXPECT_EQ(stamp & 0xFFFF, (44u << 9) | (2u << 5) | 29u);
  EXPECT_EQ(stamp >> 16, (13u << 11) | (45u << 5) | 29u);
  std::filesystem::remove(path);
  EXPECT_FALSE(FileStamp(path.string(), stamp));
}

}  // namespace
}  // namespace qor
