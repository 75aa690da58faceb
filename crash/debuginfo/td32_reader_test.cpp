#include "crash/debuginfo/td32_reader.h"

#include <gtest/gtest.h>

#include <cstring>

#include "crash/debuginfo/testing/debug_tables.h"
#include "crash/debuginfo/testing/td32_writer.h"

namespace qor {
namespace {

using test::DebugTables;
using test::TablesOf;

constexpr uint32_t kCode = 0x401000;
constexpr uint32_t kData = 0x500000;

struct Result {
  bool ok = false;
  DebugTables tables;
};

Result Read(const std::vector<uint8_t>& bytes) {
  TMapFile map;
  map.BaseOfCode = kCode;
  map.BaseOfData = kData;
  Result result;
  result.ok = ReadTd32(bytes, map);
  result.tables = TablesOf(map);
  return result;
}

struct Damage {
  const char* what;
  std::vector<uint8_t> bytes;
};

void ExpectNoInformation(const std::vector<Damage>& cases) {
  for (const Damage& c : cases) {
    const Result result = Read(c.bytes);
    EXPECT_FALSE(result.ok) << c.what;
    EXPECT_EQ(result.tables, DebugTables{}) << c.what;
  }
}

DebugTables WithoutEntryPoint(DebugTables tables) {
  tables.entry_point = 0;
  return tables;
}

TEST(Td32ReaderTest, WrittenTablesReadBackEqualInEveryLayout) {
  const DebugTables tables = test::SampleTables(5, 3);
  for (bool fb0a : {false, true}) {
    for (bool global_symbols : {true, false}) {
      for (bool two_directories : {false, true}) {
        SCOPED_TRACE(testing::Message() << fb0a << global_symbols << two_directories);
        const Result result = Read(WriteTd32(tables, {fb0a, global_symbols, two_directories}));
        EXPECT_TRUE(result.ok);
        EXPECT_EQ(result.tables, WithoutEntryPoint(tables));
      }
    }
  }
}

// The tool chain's publics are mangled; their unit, when it is not the one
// that holds them, stays in front of the name. Publics in no unit get one.
TEST(Td32ReaderTest, MangledPublicsAndUnitsMadeFromPublics) {
  DebugTables tables;
  tables.segments = {{true, 0x000, 0x100, "Main"}, {true, 0x100, 0x100, "Forms"}};
  tables.publics = {{true, "@Main@TForm1@FormCreate$qqrp14System@TObject", 0x10},
                    {true, "@Classes@TList@Add$qqrpv", 0x20},
                    {true, "Main", 0x30},
                    {true, "@Extra@Run$qqrv", 0x300},
                    {true, "@Extra@Stop$qqrv", 0x380},
                    {true, "@$xt$6TForm1", 0x390}};
  const Result result = Read(WriteTd32(tables, {}));
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.tables.publics,
            (std::vector<test::TablePublic>{{true, "TForm1.FormCreate", 0x10},
                                            {true, "Classes.TList.Add", 0x20},
                                            {true, "initialization", 0x30},
                                            {true, "Run", 0x300},
                                            {true, "Stop", 0x380}}));
  // Forms reaches up to Extra, which the publics made and which reaches
  // up to its last public.
  EXPECT_EQ(result.tables.segments,
            (std::vector<test::TableSegment>{{true, 0x000, 0x100, "Main"},
                                             {true, 0x100, 0x200, "Forms"},
                                             {true, 0x300, 0x80, "Extra"}}));
}

TEST(Td32ReaderTest, SignatureAndCrossingFieldsGiveNoInformation) {
  const std::vector<uint8_t> good = WriteTd32(test::SampleTables(2, 2), {});
  ASSERT_TRUE(Read(good).ok);
  uint32_t directory = 0;
  std::memcpy(&directory, &good[4], 4);
  auto with32 = [&](size_t at, uint32_t value) {
    std::vector<uint8_t> bytes = good;
    test::Put32(bytes, at, value);
    return bytes;
  };
  ExpectNoInformation({
      {"signature", with32(0, 0x38304246)},  // "FB08"
      {"directory outside", with32(4, static_cast<uint32_t>(good.size()))},
      {"entry count", with32(directory + 4, 0x10000000)},
      {"directory chain loops", with32(directory + 8, directory)},
      {"subsection offset", with32(directory + 16 + 4, static_cast<uint32_t>(good.size()) - 2)},
      {"subsection size", with32(directory + 16 + 8, 0xFFFFFFF0u)},
  });
}

// Each subsection kind with a count or offset that reaches past its end.
TEST(Td32ReaderTest, SubsectionsThatOverrunGiveNoInformation) {
  DebugTables tables;
  tables.segments = {{true, 0, 0x100, "Main"}};
  tables.publics = {{true, "Run", 0x10}};
  tables.lines = {{3, 0x10}};
  const std::vector<uint8_t> good = WriteTd32(tables, {});
  // The writer's order: module, source module, symbols, names.
  uint32_t directory = 0;
  std::memcpy(&directory, &good[4], 4);
  auto subsection = [&](int index) {
    uint32_t offset = 0;
    std::memcpy(&offset, &good[directory + 16 + 12 * index + 4], 4);
    return offset;
  };
  auto with = [&](uint32_t at, uint16_t value) {
    std::vector<uint8_t> bytes = good;
    test::Put16(bytes, at, value);
    return bytes;
  };
  ExpectNoInformation({
      {"module segment count", with(subsection(0) + 4, 0xFFFF)},
      {"source file count", with(subsection(1), 0xFFFF)},
      {"line block count", with(subsection(1) + 20, 0xFFFF)},
      {"line pair count", with(subsection(1) + 40, 0xFFFF)},
      {"symbol record length", with(subsection(2) + 32, 0xFFFF)},
      {"name count", with(subsection(3) + 2, 0xFFFF)},
  });
}

TEST(Td32ReaderTest, CutFilesGiveNoInformationAndFlippedBitsNoFault) {
  const std::vector<uint8_t> good = WriteTd32(test::SampleTables(3, 2), {});
  for (size_t length = 0; length < good.size(); ++length) {
    const Result result = Read(std::vector<uint8_t>(good.begin(), good.begin() + length));
    ASSERT_FALSE(result.ok) << length;
    ASSERT_EQ(result.tables, DebugTables{}) << length;
  }
  // Without a checksum a flipped name, number or count reads as another
  // one, but never makes entries that the data has no room for.
  for (size_t bit = 0; bit < good.size() * 8; ++bit) {
    std::vector<uint8_t> bytes = good;
    bytes[bit / 8] ^= static_cast<uint8_t>(1 << bit % 8);
    const Result result = Read(bytes);
    ASSERT_LE(result.tables.lines.size() * 6, good.size()) << bit;
    ASSERT_LE(result.tables.segments.size() * 12, good.size()) << bit;
  }
}

}  // namespace
}  // namespace qor
