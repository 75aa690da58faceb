#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "crash/debuginfo/compact_reader.h"
#include "crash/debuginfo/compact_writer.h"
#include "crash/debuginfo/testing/test_module_image.h"
#include "crash/modules/testing/mapped_memory.h"

namespace qor {
namespace {

constexpr uint32_t kBase = 0x00400000;
constexpr uint32_t kCodeRva = 0x1000;

CompactTables RandomTables(uint32_t seed, size_t count) {
  std::mt19937 random(seed);
  CompactTables tables;
  uint32_t address = static_cast<uint32_t>(random() % 0x100);
  for (size_t i = 0; i < count; ++i) {
    // Mostly small steps, sometimes ones that need the 32-bit escape,
    // including the escape value itself.
    const auto kind = static_cast<uint32_t>(random() % 10);
    const auto step = static_cast<uint32_t>(kind == 0 ? 128 : kind == 1 ? random() % 100000 : random() % 128);
    address += step;
    const std::string name(random() % 300, static_cast<char>('a' + random() % 26));
    tables.segments.push_back({address, static_cast<uint32_t>(random() % 5000), name, false});
    tables.publics.push_back({name, address});
    const int32_t line = static_cast<int32_t>(random() % 70000) - (kind == 2 ? 200000 : 0);
    tables.lines.push_back({line, address});
  }
  tables.entry_point = static_cast<uint32_t>(random());
  return tables;
}

void ExpectSameTables(const CompactTables& written, const TMapFile& read, uint32_t base) {
  ASSERT_EQ(read.SegmentCount, static_cast<int32_t>(written.segments.size()));
  ASSERT_EQ(read.PublicCount, static_cast<int32_t>(written.publics.size()));
  ASSERT_EQ(read.LineCount, static_cast<int32_t>(written.lines.size()));
  for (size_t i = 0; i < written.segments.size(); ++i) {
    EXPECT_EQ(read.Segments[i].Start, written.segments[i].start + base);
    EXPECT_EQ(read.Segments[i].Length, written.segments[i].length);
    EXPECT_EQ(read.Segments[i].UnitName, written.segments[i].unit_name.substr(0, 255));
    EXPECT_EQ(read.Segments[i].IsCode, 1);
  }
  for (size_t i = 0; i < written.publics.size(); ++i) {
    EXPECT_EQ(read.Publics[i].Address, written.publics[i].address + base);
    EXPECT_EQ(read.Publics[i].Name, written.publics[i].name.substr(0, 255));
  }
  for (size_t i = 0; i < written.lines.size(); ++i) {
    EXPECT_EQ(read.Lines[i].Address, written.lines[i].address + base);
    EXPECT_EQ(read.Lines[i].Line, written.lines[i].line);
  }
}

bool ReadFramed(const std::vector<uint8_t>& data, TMapFile& map) {
  CompactHeader header;
  if (!ParseCompactHeader(data, header)) return false;
  const std::vector<uint8_t> payload = DecodeCompactPayload(data, header);
  return !payload.empty() &&
         ReadCompactPayload(payload, (header.flags & kCompactFlagMinimal) != 0, map);
}

TEST(CompactFormatTest, LargeRandomTablesSurviveWriteAndRead) {
  for (uint32_t version : {2u, 3u}) {
    const CompactTables tables = RandomTables(version, 20000);
    TMapFile map;
    map.BaseOfCode = 0x401000;
    ASSERT_TRUE(ReadFramed(WriteCompact(tables, {version, 7, 9, false}), map));
    ExpectSameTables(tables, map, 0x401000);
    EXPECT_EQ(map.EntryPoint, *tables.entry_point + 0x401000);
  }
}

TEST(CompactFormatTest, TrailerIsOnlyTakenWhenExactlyFourBytesRemain) {
  CompactTables tables = RandomTables(5, 3);
  tables.entry_point.reset();
  TMapFile map;
  ASSERT_TRUE(ReadFramed(WriteCompact(tables, {}), map));
  EXPECT_EQ(map.EntryPoint, 0u);
  std::vector<uint8_t> payload = EncodeCompactPayload(tables, false);
  payload.insert(payload.end(), {1, 2, 3, 4, 5});
  TMapFile longer;
  ASSERT_TRUE(ReadCompactPayload(payload, false, longer));
  EXPECT_EQ(longer.EntryPoint, 0u);
}

TEST(CompactFormatTest, EveryTruncatedPayloadIsRefused) {
  CompactTables tables = RandomTables(11, 6);
  tables.entry_point.reset();
  const std::vector<uint8_t> payload = EncodeCompactPayload(tables, false);
  for (size_t cut = 0; cut < payload.size(); ++cut) {
    TMapFile map;
    EXPECT_FALSE(ReadCompactPayload({payload.data(), cut}, false, map)) << "cut at " << cut;
  }
}

TEST(CompactFormatTest, FramingErrorsAreRefused) {
  const std::vector<uint8_t> good = WriteCompact(RandomTables(3, 50), {3, 1, 2, false});
  struct Case {
    const char* what;
    size_t offset;
    int value;        // written at offset; -1 leaves the byte alone
    size_t keep = 0;  // bytes kept, 0 = all
  } cases[] = {
      {"signature", 3, 'x'},
      {"version 1", 18, 1},
      {"version 4", 18, 4},
      {"length beyond the data", 17, 0x7F},
      {"shorter than 23 bytes", 0, -1, 22},
      {"version 3 header cut", 0, -1, 33},
      {"payload cut", 0, -1, 60},
      {"payload damaged", 100, 0x5A},
  };
  TMapFile reference;
  ASSERT_TRUE(ReadFramed(good, reference));
  for (const Case& c : cases) {
    std::vector<uint8_t> data = good;
    if (c.value >= 0) data[c.offset] = static_cast<uint8_t>(c.value ^ (data[c.offset] == c.value));
    if (c.keep) data.resize(c.keep);
    TMapFile map;
    EXPECT_FALSE(ReadFramed(data, map)) << c.what;
  }
}

TEST(CompactFormatTest, MinimalModeNamesPlaceholdersAndKeepsHasLines) {
  CompactTables tables = RandomTables(8, 3);
  tables.segments[1].has_lines = true;
  tables.lines.clear();
  TMapFile map;
  ASSERT_TRUE(ReadFramed(WriteCompact(tables, {3, 1, 2, true}), map));
  ASSERT_EQ(map.SegmentCount, 3);
  EXPECT_EQ(map.Segments[1].UnitName, "segment%1");
  EXPECT_EQ(map.Segments[1].HasLines, 1);
  EXPECT_EQ(map.Segments[0].HasLines, 0);
  EXPECT_EQ(map.Publics[2].Name, "public%2");
  EXPECT_EQ(map.Publics[2].Address, tables.publics[2].address);
}

// Code from 0x10: one inlined function; from 0x20: a second one inside it;
// from 0x30 none.
std::vector<CompactInlineRange> Inlines() {
  return {{0x10, {{"ns.Step", "step.h", 42}}},
          {0x20, {{"helper", "helper.h", 7}, {"ns.Step", "step.h", 44}}},
          {0x30, {}}};
}

TEST(CompactFormatTest, InlineChainsFollowThePayloadAndReadBack) {
  CompactTables tables = RandomTables(9, 5);
  tables.inlines = Inlines();
  const std::vector<uint8_t> data = WriteCompact(tables, {3, 1, 2, false});
  TMapFile map;
  map.BaseOfCode = 0x401000;
  ASSERT_TRUE(ReadFramed(data, map));
  CompactHeader header;
  ASSERT_TRUE(ParseCompactHeader(data, header));
  ASSERT_TRUE(ReadCompactInlines(data, header, map));
  EXPECT_TRUE(map.Inlines.At(0x40100F).empty());
  const std::vector<InlineFrame> one = map.Inlines.At(0x401010);
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].function, "ns.Step");
  EXPECT_EQ(one[0].unit, "step.h");
  EXPECT_EQ(one[0].line, 42);
  const std::vector<InlineFrame> two = map.Inlines.At(0x40102F);
  ASSERT_EQ(two.size(), 2u);
  EXPECT_EQ(two[0].function, "helper");
  EXPECT_EQ(two[1].line, 44);
  EXPECT_TRUE(map.Inlines.At(0x401030).empty());
  // The payload and its trailer are what they are without the table: a
  // reader that knows nothing of it reads the same.
  CompactTables without = tables;
  without.inlines.clear();
  const std::vector<uint8_t> plain = WriteCompact(without, {3, 1, 2, false});
  ASSERT_LT(plain.size(), data.size());
  EXPECT_TRUE(std::equal(plain.begin(), plain.end(), data.begin()));
  EXPECT_EQ(map.EntryPoint, *tables.entry_point + 0x401000);
}

TEST(CompactFormatTest, MinimalModeCarriesNoInlineChainsAndDamageLeavesNone) {
  CompactTables tables = RandomTables(10, 5);
  tables.inlines = Inlines();
  tables.inlines.clear();
  const size_t plain = WriteCompact(tables, {3, 1, 2, true}).size();
  tables.inlines = Inlines();
  EXPECT_EQ(WriteCompact(tables, {3, 1, 2, true}).size(), plain);

  const std::vector<uint8_t> good = WriteCompact(tables, {3, 1, 2, false});
  CompactHeader header;
  ASSERT_TRUE(ParseCompactHeader(good, header));
  const size_t table = header.payload_offset + header.payload_length;
  for (size_t at = table; at < good.size(); ++at) {
    for (const bool cut : {false, true}) {
      std::vector<uint8_t> data = good;
      if (cut) {
        data.resize(at);
      } else {
        data[at] ^= 0x41;
      }
      TMapFile map;
      map.Inlines.Add(5, {{"stale", "x.h", 1}});
      const bool read = ReadCompactInlines(data, header, map);
      // A damaged table is refused and leaves none; a cut inside its
      // signature is no table at all.
      if (!read) {
        EXPECT_TRUE(map.Inlines.Empty()) << at;
      }
    }
  }
}

TEST(CompactFormatTest, FileKeyIsThirtyOneLowerCaseCharacters) {
  EXPECT_EQ(CompactFileKey(0x1A2B, 0xDEADBEEF, 7), "$00001a2b, $deadbeef, $00000007");
}

TEST(CompactFormatTest, MinDebugInfoFollowsItsMarker) {
  std::vector<uint8_t> settings = {1, 2, 12};
  for (char c : std::string("MinDebugInfo")) settings.push_back(static_cast<uint8_t>(c));
  settings.insert(settings.end(), {12, 31, 0, 0, 0});
  const std::string value = "$00001a2b, $deadbeef, $00000007";
  std::vector<uint8_t> full = settings;
  full.insert(full.end(), value.begin(), value.end());
  EXPECT_EQ(FindMinDebugInfo(full), value);
  full.pop_back();
  EXPECT_EQ(FindMinDebugInfo(full), "");
  EXPECT_EQ(FindMinDebugInfo(settings), "");
}

// A module image mapped at kBase with the given compact data as its
// resource, loaded under the name `file_name`.
class ModuleLoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("qor_debuginfo_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  bool LoadModule(const std::vector<uint8_t>& compact, const std::vector<uint8_t>& settings,
                  TMapFile& map) {
    test::TestModule module;
    module.code_rva = kCodeRva;
    if (!compact.empty()) module.resources.push_back({{0, "QOR"}, {0, "EXCEPT"}, 0, 0, compact});
    if (!settings.empty()) module.resources.push_back({{10, {}}, {0, "TQOREXCEPT"}, 0, 0, settings});
    MappedMemory memory;
    memory.Map(kBase, module.Memory());
    return map.Load(memory, kBase, (dir_ / "prog.exe").string(), false);
  }

  void WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream(dir_ / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }

  std::filesystem::path dir_;
};

std::vector<uint8_t> SettingsWithKey(const std::string& key) {
  std::vector<uint8_t> settings = {12};
  for (char c : std::string("MinDebugInfo")) settings.push_back(static_cast<uint8_t>(c));
  settings.insert(settings.end(), {12, 31, 0, 0, 0});
  settings.insert(settings.end(), key.begin(), key.end());
  return settings;
}

TEST_F(ModuleLoadTest, ResourceIsReadWithCodeBaseAndSortedLines) {
  CompactTables tables = RandomTables(21, 40);
  std::swap(tables.lines[3], tables.lines[30]);
  TMapFile map;
  ASSERT_TRUE(LoadModule(WriteCompact(tables, {}), {}, map));
  EXPECT_TRUE(map.Valid);
  EXPECT_EQ(map.BaseOfCode, kBase + kCodeRva);
  EXPECT_EQ(map.TopOfCode, kBase + kCodeRva + 0x3000);
  EXPECT_EQ(map.ModuleFileName, (dir_ / "prog.exe").string());
  EXPECT_EQ(map.Publics[5].Address, kBase + kCodeRva + tables.publics[5].address);
  for (int32_t i = 1; i < map.LineCount; ++i) EXPECT_LE(map.Lines[i - 1].Address, map.Lines[i].Address);
}

TEST_F(ModuleLoadTest, ResourceBringsItsInlineChains) {
  CompactTables tables = RandomTables(22, 5);
  tables.inlines = Inlines();
  TMapFile map;
  ASSERT_TRUE(LoadModule(WriteCompact(tables, {}), {}, map));
  const std::vector<InlineFrame> frames = map.Inlines.At(kBase + kCodeRva + 0x25);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].unit, "helper.h");
}

TEST_F(ModuleLoadTest, SecondCodeSectionExtendsTopOfCode) {
  test::TestModule module;
  module.second_code_size = 0x500;
  MappedMemory memory;
  memory.Map(kBase, module.Memory());
  TMapFile map;
  EXPECT_FALSE(map.Load(memory, kBase, (dir_ / "prog.exe").string(), false));
  EXPECT_EQ(map.TopOfCode, kBase + 0x1000 + 0x3000 + 0x500);
  EXPECT_EQ(map.BaseOfData, kBase + 0x8000);
  EXPECT_EQ(map.TopOfData, kBase + 0x9000);
}

TEST_F(ModuleLoadTest, WithoutAnySourceTheObjectIsInvalid) {
  TMapFile map;
  EXPECT_FALSE(LoadModule({}, {}, map));
  EXPECT_FALSE(map.Valid);
  EXPECT_EQ(map.PublicAt(kBase + 0x1000).Valid, 0);
  WriteFile("prog.qor", {});  // an empty companion counts as unreadable
  EXPECT_FALSE(LoadModule({}, {}, map));
}

TEST_F(ModuleLoadTest, CompanionFileServesAModuleWithoutResource) {
  const CompactTables tables = RandomTables(4, 10);
  WriteFile("prog.qor", WriteCompact(tables, {2, 0, 0, false}));
  TMapFile map;
  ASSERT_TRUE(LoadModule({}, {}, map));
  ExpectSameTables(tables, map, kBase + kCodeRva);
}

TEST_F(ModuleLoadTest, BrokenResourceFallsBackToTheCompanionFileWithCleanTables) {
  const CompactTables tables = RandomTables(4, 10);
  std::vector<uint8_t> broken = WriteCompact(RandomTables(5, 10), {});
  broken[40] ^= 0xFF;
  WriteFile("prog.qor", WriteCompact(tables, {}));
  TMapFile map;
  ASSERT_TRUE(LoadModule(broken, {}, map));
  ExpectSameTables(tables, map, kBase + kCodeRva);
}

TEST_F(ModuleLoadTest, MinimalModeTakesTheCompanionOnlyWhenItsKeyMatches) {
  CompactTables minimal = RandomTables(6, 4);
  minimal.lines.clear();
  minimal.segments[0].has_lines = true;
  const std::vector<uint8_t> embedded = WriteCompact(minimal, {3, 5, 6, true});
  const CompactTables full = RandomTables(7, 12);
  const std::vector<uint8_t> companion = WriteCompact(full, {3, 0xAB, 0xCD, false});
  WriteFile("prog.qor", companion);
  const std::string right_key =
      CompactFileKey(static_cast<uint32_t>(companion.size()), 0xAB, 0xCD);

  TMapFile matched;
  ASSERT_TRUE(LoadModule(embedded, SettingsWithKey(right_key), matched));
  EXPECT_EQ(matched.MinDebugInfo, right_key);
  ExpectSameTables(full, matched, kBase + kCodeRva);

  std::string wrong_key = right_key;
  wrong_key[30] = wrong_key[30] == '0' ? '1' : '0';
  for (const std::vector<uint8_t>& settings : {SettingsWithKey(wrong_key), std::vector<uint8_t>{}}) {
    TMapFile fallback;
    ASSERT_TRUE(LoadModule(embedded, settings, fallback));
    ASSERT_EQ(fallback.SegmentCount, 4);
    EXPECT_EQ(fallback.Publics[0].Name, "public%0");
    EXPECT_EQ(fallback.LineAt(fallback.Segments[0].Start), -1);
  }
}

}  // namespace
}  // namespace qor
