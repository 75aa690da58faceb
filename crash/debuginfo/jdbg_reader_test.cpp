#include "crash/debuginfo/jdbg_reader.h"

#include <gtest/gtest.h>

#include "crash/debuginfo/testing/debug_tables.h"
#include "crash/debuginfo/testing/jdbg_writer.h"

namespace qor {
namespace {

using test::DebugTables;
using test::TablesOf;

constexpr uint32_t kCode = 0x401000;

struct Result {
  bool ok = false;
  DebugTables tables;
};

Result Read(const std::vector<uint8_t>& bytes, uint32_t top_of_code = 0) {
  TMapFile map;
  map.BaseOfCode = kCode;
  map.TopOfCode = top_of_code;
  Result result;
  result.ok = ReadJdbg(bytes, map);
  result.tables = TablesOf(map);
  return result;
}

// The code part of `tables`: the format has no data and no entry point.
DebugTables CodeOnly(DebugTables tables) {
  std::erase_if(tables.segments, [](const test::TableSegment& s) { return !s.code; });
  std::erase_if(tables.publics, [](const test::TablePublic& p) { return !p.code; });
  tables.entry_point = 0;
  return tables;
}

TEST(JdbgReaderTest, WrittenTablesReadBackEqual) {
  const DebugTables tables = test::SampleTables(6, 4);
  for (bool checksum : {true, false}) {
    const Result result = Read(WriteJdbg(tables, {checksum}), kCode + 6 * 0x400);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.tables, CodeOnly(tables));
  }
  // Without TopOfCode the last unit keeps the length of one byte that
  // every unit starts with.
  const Result open_ended = Read(WriteJdbg(tables, {}));
  ASSERT_TRUE(open_ended.ok);
  EXPECT_EQ(open_ended.tables.segments.back().length, 1u);
}

// Names in all three codings, paths and source endings on unit names, and
// the unit prefix on symbol names.
TEST(JdbgReaderTest, NamesInEveryCoding) {
  DebugTables tables;
  tables.segments = {{true, 0x000, 0x100, "C:\\src\\Main.pas"},
                     {true, 0x100, 0x100, "lib/Other.dpr"}};
  tables.publics = {{true, "Main.TForm1.FormCreate", 0x10},       // prefix of its own unit
                    {true, "@Create", 0x20},                      // "@" + packed
                    {true, "0pen", 0x30},                         // packed would start with byte 1
                    {true, "operator+", 0x40},                    // not packable
                    {true, std::string("caf\xE9\xAA", 5), 0x50},  // 0xAA stays as it is
                    {true, std::string(254, 'x'), 0x60},          // longest packed name
                    {true, "Other", 0x110}};                      // the unit's own name
  tables.lines = {{7, 0x10}, {3, 0x20}, {70000, 0x110}};
  DebugTables expected = tables;
  expected.segments[0].unit = "Main";
  expected.segments[1].unit = "Other";
  expected.publics[0].name = "TForm1.FormCreate";
  expected.publics[1].name = "Create";  // a name that starts with "@" is unmangled
  expected.publics[6].name = "initialization";
  const Result result = Read(WriteJdbg(tables, {}), kCode + 0x200);
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.tables, expected);
}

TEST(JdbgReaderTest, HeaderTestsRefuseTheFile) {
  const std::vector<uint8_t> good = WriteJdbg(test::SampleTables(2, 2), {});
  ASSERT_TRUE(Read(good).ok);
  auto changed = [&](size_t at, uint8_t value) {
    std::vector<uint8_t> bytes = good;
    bytes[at] = value;
    return bytes;
  };
  EXPECT_FALSE(Read(changed(0, 'j')).ok) << "signature";
  EXPECT_FALSE(Read(changed(4, 2)).ok) << "version";
  EXPECT_FALSE(Read(changed(test::kJdbgChecksumAt, good[test::kJdbgChecksumAt] ^ 1)).ok)
      << "checksum";
  std::vector<uint8_t> unchecked = changed(test::kJdbgChecksumAt, good[test::kJdbgChecksumAt] ^ 1);
  unchecked[test::kJdbgChecksumValidAt] = 0;
  EXPECT_TRUE(Read(unchecked).ok) << "a checksum not marked valid is not tested";
  std::vector<uint8_t> longer = good;
  longer.push_back(0);
  EXPECT_FALSE(Read(longer).ok) << "size not a multiple of 4";
  EXPECT_FALSE(Read(std::vector<uint8_t>(good.begin(), good.begin() + 32)).ok) << "too short";
  EXPECT_FALSE(Read(WriteJdbg(DebugTables{}, {})).ok) << "nothing in it";
}

// Offsets, name indices and values that lead outside the file give no
// information, as does every cut of the file and every flipped bit that
// the checksum covers.
TEST(JdbgReaderTest, DamagedFilesGiveNoInformation) {
  const std::vector<uint8_t> good = WriteJdbg(test::SampleTables(3, 2), {false});
  for (size_t field : {9u, 13u, 17u, 21u}) {
    std::vector<uint8_t> bytes = good;
    test::Put32(bytes, field, static_cast<uint32_t>(bytes.size()));
    const Result result = Read(bytes);
    EXPECT_FALSE(result.ok) << field;
    EXPECT_EQ(result.tables, DebugTables{}) << field;
  }
  std::vector<uint8_t> far_name = good;
  test::Put32(far_name, 21, 0xFFFFFFF0u);
  EXPECT_FALSE(Read(far_name).ok);

  const std::vector<uint8_t> checked = WriteJdbg(test::SampleTables(3, 2), {});
  for (size_t length = 0; length < checked.size(); ++length) {
    const Result result = Read(std::vector<uint8_t>(checked.begin(), checked.begin() + length));
    ASSERT_FALSE(result.ok) << length;
    ASSERT_EQ(result.tables, DebugTables{}) << length;
  }
  const DebugTables whole = Read(checked).tables;
  for (size_t bit = 0; bit < checked.size() * 8; ++bit) {
    std::vector<uint8_t> bytes = checked;
    bytes[bit / 8] ^= static_cast<uint8_t>(1 << bit % 8);
    const Result result = Read(bytes);
    if (bit == test::kJdbgChecksumValidAt * 8) {
      ASSERT_EQ(result.tables, whole) << bit;  // unchecked now, and the data is intact
    } else {
      ASSERT_FALSE(result.ok) << bit;
    }
  }
}

}  // namespace
}  // namespace qor
