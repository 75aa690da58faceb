#include "tools/qor_convert/pe_file.h"

#include <gtest/gtest.h>

#include "crash/modules/testing/pe_test_image.h"
#include "tools/qor_convert/pe_embed.h"

namespace qor::convert {
namespace {

constexpr uint32_t kNt = test::TestPeImage::kNtOffset;

// A file with one code section, which Parse accepts as it is.
std::vector<uint8_t> SmallProgram() {
  test::TestPeImage image;
  image.AddSection(0x1000, 0x200, std::vector<uint8_t>(0x200, 0xC3), 0x60000020, ".text");
  std::vector<uint8_t> file = image.File();
  Set32(file, kNt + 24 + 32, 0x1000);  // section alignment
  Set32(file, kNt + 24 + 36, 0x200);   // file alignment
  Set32(file, kNt + 24 + 60, 0x200);   // size of headers
  return file;
}

TEST(PeFileTest, SymbolTableWhoseEndWrapsAroundIsRefused) {
  std::vector<uint8_t> file = SmallProgram();
  PeFile pe;
  std::string error;
  ASSERT_TRUE(pe.Parse(file, error)) << error;
  // 0x0E38E38F symbols of 18 bytes end 2^32 + 6 bytes after offset 0x100.
  Set32(file, kNt + 12, 0x100);
  Set32(file, kNt + 16, 0x0E38E38F);
  EXPECT_FALSE(pe.Parse(file, error));
  EXPECT_EQ(error, "symbol table beyond the end of the file");
}

TEST(PeFileTest, ProgramWithoutAResourceDirectoryEntryIsNotRewritten) {
  std::vector<uint8_t> file = SmallProgram();
  PeFile pe;
  std::string error;
  std::vector<uint8_t> output;
  ASSERT_TRUE(pe.Parse(file, error));
  ASSERT_TRUE(EmbedDebugInfo(pe, {1, 2, 3}, output, error)) << error;
  Set32(file, kNt + 24 + 92, 2);  // two directory entries: export and import
  ASSERT_TRUE(pe.Parse(file, error));
  EXPECT_FALSE(EmbedDebugInfo(pe, {1, 2, 3}, output, error));
  EXPECT_EQ(error, "the optional header has no resource directory entry");
}

TEST(PeFileTest, SectionAlignedBeyondTheFileEndIsPaddedNotRead) {
  std::vector<uint8_t> file = SmallProgram();
  Set32(file, kNt + 24 + 36, 0x10000);  // the file ends before its aligned end
  PeFile pe;
  std::string error;
  std::vector<uint8_t> output;
  ASSERT_TRUE(pe.Parse(file, error));
  ASSERT_TRUE(EmbedDebugInfo(pe, {1, 2, 3}, output, error)) << error;
  EXPECT_EQ(output.size() % 0x10000, 0u);
}

}  // namespace
}  // namespace qor::convert
