#include "crash/debuginfo/text_map_reader.h"

#include <gtest/gtest.h>

#include "crash/debuginfo/testing/debug_tables.h"
#include "crash/debuginfo/testing/text_map_writer.h"

namespace qor {
namespace {

using test::DebugTables;
using test::TablesOf;

constexpr uint32_t kCode = 0x401000;
constexpr uint32_t kData = 0x500000;

DebugTables Read(std::string_view text) {
  TMapFile map;
  map.BaseOfCode = kCode;
  map.BaseOfData = kData;
  ReadTextMap(text, map);
  return TablesOf(map);
}

TEST(TextMapReaderTest, WrittenTablesReadBackEqual) {
  const DebugTables tables = test::SampleTables(5, 3);
  const std::string text = WriteTextMap(tables, {});
  EXPECT_EQ(Read(text), tables);

  // Lines that end in a bare LF read the same.
  std::string lf = text;
  for (size_t at = lf.find("\r\n"); at != std::string::npos; at = lf.find("\r\n", at))
    lf.erase(at, 1);
  EXPECT_EQ(Read(lf), tables);
}

// With ".itext" the data segment is number 3, code of segment 2 lies
// behind ".text" rounded up to a page, and publics lose the prefix of the
// unit that holds them. The ".itext" line also contains ".text" and must
// not be taken for it.
TEST(TextMapReaderTest, SecondCodeSectionAndUnitPrefixes) {
  DebugTables tables;
  tables.segments = {
      {true, 0x0000, 0x1800, "Main"}, {true, 0x2000, 0x100, "Init"}, {false, 0x0000, 0x10, "Main"}};
  tables.publics = {{true, "Main.TForm1.FormCreate", 0x10},
                    {true, "Other.Run", 0x20},
                    {true, "Init.Start", 0x2010},
                    {false, "Main.Counter", 0x4}};
  tables.lines = {{5, 0x10}, {6, 0x18}, {9, 0x2010}};
  tables.entry_point = 0x2010;
  test::TextMapLayout layout;
  layout.code_size = 0x1800;
  layout.second_code_section = true;

  DebugTables expected = tables;
  expected.publics[0].name = "TForm1.FormCreate";
  expected.publics[2].name = "Start";
  EXPECT_EQ(Read(WriteTextMap(tables, layout)), expected);
}

TEST(TextMapReaderTest, LinesThatAreNotUnderstoodAreSkipped) {
  const std::string text =
      " Start         Length     Name                   Class\r\n"
      " 0001:00401000 00001000H .text                   CODE\r\n"
      " 0002:00500000 00001000H .data                   DATA\r\n"
      "\r\n"
      "Detailed map of segments\r\n"
      "\r\n"
      " 0001:00000000 00000100 C=CODE     S=.text    G=(none)   M=C:\\src\\unit1.obj ACBP=A9\r\n"
      " 0001:00000100 0000zz00 C=CODE     S=.text    G=(none)   M=Broken     ACBP=A9\r\n"
      " 0001:00000200 00000100 C=CODE     S=.text    G=(none)   M=short\r\n"
      " 0001:00000200 00000100 C=CODE     S=.text    G=(none)   M=lib|member.obj     ACBP=A9\r\n"
      " 0009:00000000 00000100 C=CODE     S=.text    G=(none)   M=BeyondData ACBP=A9\r\n"
      "\r\n"
      "  Address             Publics by Value\r\n"
      "\r\n"
      " 0001:00000010       Alpha\r\n"
      " 0001:0000001G       Broken\r\n"
      " 0001:00000020       Beta (import)\r\n"
      " 0000:00000030       NoSegment\r\n"
      " 0002:00000004       Gamma\r\n"
      "\r\n"
      "Line numbers for unit1(unit1.cpp) segment .text\r\n"
      "\r\n"
      "    10 0001:00000010    11 0001:00000014    x2 0001:00000018\r\n"
      "    13 0001:0000001C    14 0002:00000020    15 0001:00000024\r\n"
      "    16 0001:00000024    12 0001:00000010\r\n"
      "\r\n"
      "Program entry point at 0001:0000001C\r\n";
  DebugTables expected;
  expected.segments = {{true, 0x000, 0x100, "unit1.obj"}, {true, 0x200, 0x100, "member.obj"}};
  expected.publics = {{true, "Alpha", 0x10}, {true, "Beta", 0x20}, {false, "Gamma", 0x4}};
  // The line with "x2" is dropped whole, the data segment's pair and the
  // pairs that do not advance are dropped alone.
  expected.lines = {{13, 0x1C}, {15, 0x24}};
  expected.entry_point = 0x1C;
  EXPECT_EQ(Read(text), expected);
}

TEST(TextMapReaderTest, CutAndFlippedFilesAreReadWithoutFault) {
  const std::string text = WriteTextMap(test::SampleTables(2, 2), {});
  const DebugTables whole = Read(text);
  for (size_t length = 0; length < text.size(); ++length) {
    const DebugTables part = Read(std::string_view(text).substr(0, length));
    ASSERT_LE(part.publics.size(), whole.publics.size()) << length;
    ASSERT_LE(part.lines.size(), whole.lines.size()) << length;
  }
  for (size_t bit = 0; bit < text.size() * 8; ++bit) {
    std::string flipped = text;
    flipped[bit / 8] = static_cast<char>(flipped[bit / 8] ^ (1 << bit % 8));
    const DebugTables read = Read(flipped);
    ASSERT_LE(read.segments.size(), whole.segments.size()) << bit;
    ASSERT_LE(read.publics.size(), whole.publics.size()) << bit;
    ASSERT_LE(read.lines.size(), whole.lines.size()) << bit;
  }
}

}  // namespace
}  // namespace qor
