#include "crash/core/import_table.h"

#include <gtest/gtest.h>

#include "crash/modules/testing/mapped_memory.h"
#include "crash/modules/testing/pe_test_image.h"

namespace qor {
namespace {

using test::Put32;

constexpr uint32_t kBase = 0x10000000;
constexpr uint32_t kImports = 0x2000;  // RVA of the import section
constexpr uint32_t kReal = 0x7C801234;
constexpr uint32_t kOther = 0x7C805678;
// Where the import directory's entry sits in the loaded headers.
constexpr uint32_t kImportDirectoryEntry = test::TestPeImage::kNtOffset + 24 + 96 + 8;

// An import section as the GNU linker lays it out: descriptors first, then
// two address tables, all inside the directory's size.
struct ImportSection {
  std::vector<uint8_t> bytes;
  uint32_t directory_size = 0;
};

ImportSection TwoLibraries(uint32_t second_table_rva) {
  ImportSection section;
  std::vector<uint8_t>& d = section.bytes;
  d.resize(0x100);
  // Descriptor 0: name at +0xC0, table at +0x40; descriptor 1: table as given.
  Put32(d, 12, kImports + 0xC0);
  Put32(d, 16, kImports + 0x40);
  Put32(d, 20 + 12, kImports + 0xC8);
  Put32(d, 20 + 16, second_table_rva);
  // Descriptor 2: the terminator (all zero).
  Put32(d, 0x40, kOther);
  Put32(d, 0x44, kReal);
  Put32(d, 0x60, kReal);
  Put32(d, 0x64, kReal);
  section.directory_size = 0x100;
  return section;
}

MappedMemory Image(const ImportSection& section, uint32_t directory_size) {
  test::TestPeImage image;
  image.AddSection(kImports, 0x400, section.bytes);
  std::vector<uint8_t> bytes = image.Memory();
  Put32(bytes, kImportDirectoryEntry, kImports);
  Put32(bytes, kImportDirectoryEntry + 4, directory_size);
  MappedMemory memory;
  memory.Map(kBase, bytes);
  return memory;
}

TEST(FindImportSlots, EveryEntryHoldingTheRoutine) {
  const ImportSection section = TwoLibraries(kImports + 0x60);
  std::vector<uint32_t> slots;
  ASSERT_EQ(FindImportSlots(Image(section, section.directory_size), kBase, kReal, slots),
            ImportScan::kScanned);
  EXPECT_EQ(slots, (std::vector<uint32_t>{kBase + kImports + 0x44, kBase + kImports + 0x60,
                                          kBase + kImports + 0x64}));
}

TEST(FindImportSlots, ATableBeyondTheDirectoryMakesItInvalid) {
  const ImportSection section = TwoLibraries(kImports + 0x60);
  std::vector<uint32_t> slots;
  // The directory ends before the second table.
  EXPECT_EQ(FindImportSlots(Image(section, 0x60), kBase, kReal, slots), ImportScan::kInvalid);
  EXPECT_TRUE(slots.empty()) << "not even the first table's entries";
}

TEST(FindImportSlots, UnreadableTablesEndTheWalk) {
  // The second table lies outside the image: nothing to read there.
  const ImportSection section = TwoLibraries(kImports + 0x60);
  ImportSection broken = section;
  Put32(broken.bytes, 20 + 16, 0x00F00000);
  std::vector<uint32_t> slots;
  EXPECT_EQ(FindImportSlots(Image(broken, 0x01000000), kBase, kReal, slots), ImportScan::kScanned);
  EXPECT_EQ(slots, (std::vector<uint32_t>{kBase + kImports + 0x44}));

  // No terminating descriptor before the image ends.
  ImportSection endless;
  endless.bytes.assign(0x2000, 0x11);  // up to the end of the image
  slots.clear();
  EXPECT_EQ(FindImportSlots(Image(endless, 0x7FFFFFFF), kBase, kReal, slots), ImportScan::kScanned);
  EXPECT_TRUE(slots.empty());
}

TEST(FindImportSlots, ModulesWithoutImports) {
  std::vector<uint32_t> slots;
  EXPECT_EQ(FindImportSlots(MappedMemory(), kBase, kReal, slots), ImportScan::kNoTable);
  test::TestPeImage image;
  MappedMemory memory;
  memory.Map(kBase, image.Memory());
  EXPECT_EQ(FindImportSlots(memory, kBase, kReal, slots), ImportScan::kNoTable);
}

}  // namespace
}  // namespace qor
