#include "crash/modules/debug_id.h"

#include <gtest/gtest.h>

#include "crash/modules/testing/mapped_memory.h"
#include "crash/modules/testing/pe_test_image.h"

namespace qor {
namespace {

using test::Put32;

constexpr uint32_t kBase = 0x400000;
constexpr uint32_t kDebugDirectoryEntry = test::TestPeImage::kNtOffset + 24 + 96 + 6 * 8;

std::vector<uint8_t> Rsds(const std::string& name, uint32_t age) {
  std::vector<uint8_t> r = {'R', 'S', 'D', 'S'};
  for (uint8_t i = 0; i < 16; ++i) r.push_back(i);
  Put32(r, 20, age);
  r.insert(r.end(), name.begin(), name.end());
  r.push_back(0);
  return r;
}

// An image whose debug directory at RVA 0x1000 lists `entries` (type, record)
// with the records following it.
MappedMemory Image(const std::vector<std::pair<uint32_t, std::vector<uint8_t>>>& entries,
                   uint32_t directory_size = 0) {
  std::vector<uint8_t> section(28 * entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    const uint32_t at = static_cast<uint32_t>(section.size());
    Put32(section, 28 * i + 12, entries[i].first);
    Put32(section, 28 * i + 16, static_cast<uint32_t>(entries[i].second.size()));
    Put32(section, 28 * i + 20, 0x1000 + at);
    section.insert(section.end(), entries[i].second.begin(), entries[i].second.end());
  }
  test::TestPeImage pe;
  pe.AddSection(0x1000, 0x400, section);
  std::vector<uint8_t> memory = pe.Memory();
  Put32(memory, kDebugDirectoryEntry, 0x1000);
  Put32(memory, kDebugDirectoryEntry + 4,
        directory_size ? directory_size : static_cast<uint32_t>(28 * entries.size()));
  MappedMemory mapped;
  mapped.Map(kBase, memory);
  return mapped;
}

TEST(DebugId, ReadsTheCodeViewRecordAfterOtherEntries) {
  const std::vector<uint8_t> rsds = Rsds("C:\\build\\Uninstall.pdb", 0x2a);
  MappedMemory memory = Image({{4 /*misc*/, std::vector<uint8_t>(12, 0xcc)}, {2, rsds}});
  CodeViewRecord record;
  ASSERT_TRUE(ReadCodeViewRecord(memory, kBase, record));
  EXPECT_EQ(record.age, 0x2au);
  EXPECT_EQ(record.debug_file, "C:\\build\\Uninstall.pdb");
  EXPECT_EQ(record.bytes, rsds);
  // Data1, Data2 and Data3 are little-endian numbers; the rest is bytes.
  EXPECT_EQ(DebugIdText(record), "03020100050407060809" "0A0B0C0D0E0F" "2A");
  EXPECT_EQ(DebugFileName(record), "Uninstall.pdb");
}

TEST(DebugId, RefusesRecordsThatAreNotACompleteRsds) {
  std::vector<uint8_t> nb10 = Rsds("old.pdb", 1);
  std::copy_n("NB10", 4, nb10.begin());
  std::vector<uint8_t> unterminated = Rsds("name.pdb", 1);
  unterminated.pop_back();
  std::vector<uint8_t> no_name = Rsds("", 1);
  no_name.resize(24);
  CodeViewRecord record;
  for (const auto& bytes : {nb10, unterminated, no_name}) {
    EXPECT_FALSE(ReadCodeViewRecord(Image({{2, bytes}}), kBase, record));
  }
  // No debug directory at all, and one whose stated size runs far past the
  // image without a CodeView entry: the walk stops at unreadable memory.
  EXPECT_FALSE(ReadCodeViewRecord(Image({}), kBase, record));
  EXPECT_FALSE(ReadCodeViewRecord(Image({{4, std::vector<uint8_t>(12)}}, 28 * 0x10000), kBase, record));
}

TEST(DebugId, AcceptsAnEmptyNameAndParsesStoredRecords) {
  CodeViewRecord record;
  ASSERT_TRUE(ParseCodeViewRecord(Rsds("", 3), record));
  EXPECT_EQ(record.debug_file, "");
  EXPECT_EQ(DebugIdText(record).substr(32), "3");
  ASSERT_TRUE(ParseCodeViewRecord(Rsds("pdb/tool.pdb", 1), record));
  EXPECT_EQ(DebugFileName(record), "tool.pdb");
}

}  // namespace
}  // namespace qor
