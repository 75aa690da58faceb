#include "tools/qor_convert/dwarf_line.h"

#include <gtest/gtest.h>

#include "tools/qor_convert/testing/dwarf_bytes.h"

namespace qor::convert {
namespace {

using test::Bytes;

constexpr uint8_t kOpcodeBase = 13;

Bytes StandardHeaderTail() {
  Bytes b;
  b.U8(1).U8(1).U8(1).U8(static_cast<uint8_t>(-5)).U8(14).U8(kOpcodeBase);  // min length .. opcode base
  for (uint8_t length : {0, 1, 1, 1, 1, 0, 0, 0, 1, 0, 0, 1}) b.U8(length);
  return b;
}

Bytes Extended(uint8_t sub, const Bytes& operands) {
  Bytes b;
  b.U8(0).Uleb(operands.size() + 1).U8(sub).Append(operands);
  return b;
}

// A DWARF 4 unit whose rows move from the unit's source into a header and
// then into a file the program itself defines.
Bytes Version4Unit() {
  Bytes header = StandardHeaderTail();
  header.Str("inc").U8(0);
  header.Str("a.cpp").Uleb(0).Uleb(0).Uleb(0).Str("inc/b.h").Uleb(1).Uleb(0).Uleb(0).U8(0);
  Bytes program;
  program.Append(Extended(2, Bytes().U32(0x401000)));
  program.U8(1);                                   // copy: a.cpp:1
  program.U8(4).Uleb(2).U8(3).Sleb(9).U8(2).Uleb(4).U8(1);  // b.h:10 at +4
  program.Append(Extended(3, Bytes().Str("c.h").Uleb(0).Uleb(0).Uleb(0)));
  program.U8(4).Uleb(3).U8((1 + 5) + 14 * 2 + kOpcodeBase);  // c.h:11 at +6
  program.U8(2).Uleb(4).Append(Extended(1, Bytes()));       // ends at +10
  Bytes body;
  body.U16(4).WithLength(header).Append(program);
  return Bytes().WithLength(body);
}

TEST(DwarfLineTest, RowsKeepTheFileTheyBelongTo) {
  std::vector<LineProgram> programs;
  std::string error;
  ASSERT_TRUE(ReadLinePrograms(Version4Unit().bytes, {}, {}, programs, error)) << error;
  ASSERT_EQ(programs.size(), 1u);
  const LineProgram& p = programs[0];
  EXPECT_EQ(p.offset, 0u);
  ASSERT_EQ(p.sequences.size(), 1u);
  const auto& rows = p.sequences[0].rows;
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(p.FileName(rows[0].file), "a.cpp");
  EXPECT_EQ(rows[0].line, 1u);
  EXPECT_EQ(rows[1].address, 0x401004u);
  EXPECT_EQ(p.FileName(rows[1].file), "b.h");
  EXPECT_EQ(rows[1].line, 10u);
  EXPECT_EQ(rows[2].address, 0x401006u);
  EXPECT_EQ(p.FileName(rows[2].file), "c.h");
  EXPECT_EQ(rows[2].line, 11u);
  EXPECT_EQ(p.sequences[0].end, 0x40100Au);
  // DWARF 4 numbers files from 1; numbers it does not define have no name.
  EXPECT_EQ(p.FileName(0), "");
  EXPECT_EQ(p.FileName(4), "");
}

TEST(DwarfLineTest, Version5NumbersFilesFromTheUnitsOwnSource) {
  Bytes line_str;
  line_str.Str("/src/main.cpp").Str("include/x.h");
  Bytes header = StandardHeaderTail();
  header.U8(1).Uleb(1).Uleb(0x08).Uleb(1).Str("/src");                  // directories
  header.U8(2).Uleb(1).Uleb(0x1F).Uleb(2).Uleb(0x0F);                    // file entry format
  header.Uleb(2).U32(0).Uleb(0).U32(14).Uleb(0);                         // files 0 and 1
  Bytes program;
  program.Append(Extended(2, Bytes().U32(0x402000))).U8(1);             // file 1, the start value
  program.U8(4).Uleb(0).U8(3).Sleb(4).U8(2).Uleb(2).U8(1);
  program.Append(Extended(1, Bytes()));
  Bytes body;
  body.U16(5).U8(4).U8(0).WithLength(header).Append(program);
  Bytes section = Version4Unit();
  const size_t second = section.size();
  section.WithLength(body);

  std::vector<LineProgram> programs;
  std::string error;
  ASSERT_TRUE(ReadLinePrograms(section.bytes, line_str.bytes, {}, programs, error)) << error;
  ASSERT_EQ(programs.size(), 2u);
  const LineProgram& p = programs[1];
  EXPECT_EQ(p.offset, second);
  EXPECT_EQ(p.files, (std::vector<std::string>{"main.cpp", "x.h"}));
  ASSERT_EQ(p.sequences.size(), 1u);
  const auto& rows = p.sequences[0].rows;
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(p.FileName(rows[0].file), "x.h");
  EXPECT_EQ(p.FileName(rows[1].file), "main.cpp");
  EXPECT_EQ(rows[1].line, 5u);
}

TEST(DwarfLineTest, EveryTruncationIsRefusedOrReadWithinItsBytes) {
  const std::vector<uint8_t> whole = Version4Unit().bytes;
  for (size_t size = 0; size < whole.size(); ++size) {
    const std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
    std::vector<LineProgram> programs;
    std::string error;
    if (!ReadLinePrograms(cut, {}, {}, programs, error)) {
      EXPECT_FALSE(error.empty()) << size;
    }
  }
}

}  // namespace
}  // namespace qor::convert
