#include "crash/modules/pe_exports.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "crash/modules/testing/mapped_memory.h"
#include "crash/modules/pe_image.h"
#include "crash/modules/testing/pe_test_image.h"

namespace qor {
namespace {

using test::Put32;
using test::TestExport;
using test::TestPeImage;

constexpr uint32_t kBase = 0x10000000;
constexpr uint32_t kOther = 0x20000000;

TEST(NtHeaders, RejectsImagesWithoutBothSignatures) {
  TestPeImage pe;
  std::vector<uint8_t> good = pe.Memory();
  std::vector<uint8_t> no_mz = good, no_pe = good, far_offset = good;
  no_mz[1] = 'Y';
  no_pe[TestPeImage::kNtOffset + 2] = 1;  // "PE\1\0"
  Put32(far_offset, 60, 0x7fff0000);      // signature beyond the mapped bytes
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    uint32_t expected;
  } cases[] = {
      {"good", good, kBase + TestPeImage::kNtOffset},
      {"no MZ", no_mz, 0},
      {"wrong PE", no_pe, 0},
      {"offset outside", far_offset, 0},
      {"one byte", {'M'}, 0},
  };
  for (const Case& c : cases) {
    MappedMemory memory;
    memory.Map(kBase, c.bytes);
    EXPECT_EQ(NtHeaders(memory, kBase), c.expected) << c.what;
  }
  EXPECT_EQ(NtHeaders(MappedMemory(), kBase), 0u) << "nothing mapped";
}

TEST(DataDirectory, GivesNoneForAnEmptyEntry) {
  TestPeImage pe;
  MappedMemory memory;
  memory.Map(kBase, pe.Memory());
  EXPECT_EQ(DataDirectoryAddress(memory, kBase, kExportDirectory), 0u);
  EXPECT_EQ(DataDirectoryAddress(memory, kBase, 16), 0u) << "index past NumberOfRvaAndSizes";

  pe.SetExports(0x1000, 0x400, 1, {{"F", 0x2000, ""}});
  MappedMemory with_exports;
  with_exports.Map(kBase, pe.Memory());
  EXPECT_EQ(DataDirectoryAddress(with_exports, kBase, kExportDirectory), kBase + 0x1000);
}

TEST(RvaToFileOffset, UsesTheSectionBelowTheRvaAndLeavesHeadersAlone) {
  TestPeImage pe;
  pe.AddSection(0x1000, 0x400, std::vector<uint8_t>(0x10));
  pe.AddSection(0x2000, 0x600, std::vector<uint8_t>(0x10));
  pe.AddSection(0x3000, 0x800, std::vector<uint8_t>(0x10));
  MappedMemory memory;
  memory.Map(kBase, pe.Memory());
  uint32_t nt = NtHeaders(memory, kBase);
  ASSERT_NE(nt, 0u);
  const std::pair<uint32_t, uint32_t> cases[] = {
      {0x10, 0x10},     {0x1000, 0x400},  {0x1fff, 0x13ff},
      {0x2004, 0x604},  {0x3000, 0x800},  {0x9000, 0x6800},  // the last section is open-ended
  };
  for (auto [rva, offset] : cases) EXPECT_EQ(RvaToFileOffset(memory, nt, rva), offset) << rva;
}

// Hooks that record what was asked of them.
struct FakeProcess {
  std::map<std::string, uint32_t> modules;
  std::map<uint32_t, uint32_t> file_rvas;  // index -> RVA in the file
  std::vector<std::string> system_names;
  bool vouch = false;

  ExportHooks Hooks() {
    ExportHooks hooks;
    hooks.find_module = [this](std::string_view name) {
      auto it = modules.find(std::string(name));
      return it == modules.end() ? 0u : it->second;
    };
    hooks.accept_memory_rva = [this](uint32_t, uint32_t, uint32_t) { return vouch; };
    hooks.file_rva = [this](uint32_t, uint32_t index, uint32_t& rva) {
      auto it = file_rvas.find(index);
      if (it == file_rvas.end()) return false;
      rva = it->second;
      return true;
    };
    hooks.system_by_name = [this](uint32_t, std::string_view name) {
      system_names.emplace_back(name);
      return 0xdead0000u;
    };
    hooks.system_by_ordinal = [](uint32_t, uint32_t ordinal) { return 0xdeaf0000u + ordinal; };
    return hooks;
  }
};

class ExportTableTest : public testing::Test {
 protected:
  void SetUp() override {
    TestPeImage a;
    a.SetExports(0x1000, 0x400, 5,
                 {{"Alpha", 0x2000, ""},
                  {"", 0x2010, ""},  // ordinal 6 has no name
                  {"Gamma", 0, "OTHER.Target"},
                  {"Delta", 0, "OTHER.#3"},
                  {"Loop", 0, "SELF.Loop"},
                  {"Patched", 0x70000000, ""},
                  {"@Main@TForm1@FormCreate$qqrp14System@TObject", 0x2020, ""}});
    memory_.Map(kBase, a.Memory());
    TestPeImage b;
    b.SetExports(0x1000, 0x400, 1, {{"Other1", 0x3000, ""}, {"Other2", 0x3004, ""},
                                    {"Target", 0x3008, ""}});
    memory_.Map(kOther, b.Memory());
    process_.modules = {{"OTHER", kOther}, {"SELF", kBase}};
  }

  uint32_t ByName(std::string_view name, bool check_file = false) {
    return ExportAddressByName(memory_, kBase, name, check_file, process_.Hooks());
  }

  MappedMemory memory_;
  FakeProcess process_;
};

TEST_F(ExportTableTest, FindsNamedExportsCaseSensitively) {
  EXPECT_EQ(ByName("Alpha"), kBase + 0x2000);
  EXPECT_TRUE(process_.system_names.empty());
  EXPECT_EQ(ByName("alpha"), 0xdead0000u) << "falls back to the system's lookup";
  EXPECT_EQ(ByName("Alph"), 0xdead0000u);
  EXPECT_EQ(process_.system_names, (std::vector<std::string>{"alpha", "Alph"}));
}

TEST_F(ExportTableTest, FollowsForwardersByNameAndOrdinal) {
  EXPECT_EQ(ByName("Gamma"), kOther + 0x3008);
  EXPECT_EQ(ByName("Delta"), kOther + 0x3008);
  EXPECT_EQ(ExportAddressByOrdinal(memory_, kBase, 7, process_.Hooks()), kOther + 0x3008);
}

TEST_F(ExportTableTest, ForwarderLoopEndsInTheSystemLookup) {
  EXPECT_EQ(ByName("Loop"), 0xdead0000u);
  process_.modules.clear();
  EXPECT_EQ(ByName("Gamma"), 0xdead0000u) << "forwarded to a module that is not loaded";
}

TEST_F(ExportTableTest, ResolvesOrdinalsAgainstTheBase) {
  EXPECT_EQ(ExportAddressByOrdinal(memory_, kBase, 5, process_.Hooks()), kBase + 0x2000);
  EXPECT_EQ(ExportAddressByOrdinal(memory_, kBase, 6, process_.Hooks()), kBase + 0x2010);
  EXPECT_EQ(ExportAddressByOrdinal(memory_, kBase, 4, process_.Hooks()), 0xdeaf0004u);
  EXPECT_EQ(ExportAddressByOrdinal(memory_, kBase, 12, process_.Hooks()), 0xdeaf000cu);
}

TEST_F(ExportTableTest, RvaBeyondTheImageIsTakenFromTheFile) {
  EXPECT_EQ(ByName("Patched"), 0xdead0000u) << "no file: the system decides";
  process_.file_rvas[5] = 0x2030;
  EXPECT_EQ(ByName("Patched"), kBase + 0x2030);
  process_.vouch = true;
  EXPECT_EQ(ByName("Patched"), kBase + 0x70000000) << "another unit vouched for it";
}

TEST_F(ExportTableTest, CheckFileReadsTheFileEvenForPlausibleRvas) {
  process_.file_rvas[0] = 0x2040;
  EXPECT_EQ(ByName("Alpha", false), kBase + 0x2000);
  EXPECT_EQ(ByName("Alpha", true), kBase + 0x2040);
}

TEST_F(ExportTableTest, NamesAddressesWithOrdinalsForUnnamedExports) {
  struct Case {
    uint32_t address;
    bool unmangle;
    std::string name;
  } cases[] = {
      {kBase + 0x2000, false, "Alpha"},
      {kBase + 0x2010, false, "#6"},
      {kBase + 0x2020, false, "@Main@TForm1@FormCreate$qqrp14System@TObject"},
      {kBase + 0x2020, true, "Main.TForm1.FormCreate"},
      {kBase + 0x2001, false, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ExportNameOfAddress(memory_, kBase, c.address, c.unmangle), c.name) << c.address;
  }
  EXPECT_EQ(ExportNameOfAddress(memory_, kOther + 0x1000, kOther + 0x3000, false), "")
      << "not a module base";
}

TEST(ExportRvaFromFile, ReadsTheTableThroughSectionOffsets) {
  TestPeImage pe;
  pe.AddSection(0x1000, 0x400, std::vector<uint8_t>(0x100, 0xcc));
  pe.SetExports(0x2000, 0x600, 1, {{"A", 0x1010, ""}, {"B", 0x1020, ""}});
  MappedMemory file;
  file.Map(0, pe.File());
  uint32_t rva = 0xdeadbeef;
  EXPECT_TRUE(ExportRvaFromFile(file, 1, rva));
  EXPECT_EQ(rva, 0x1020u);
  EXPECT_FALSE(ExportRvaFromFile(file, 2, rva)) << "past the table";
  MappedMemory truncated;
  std::vector<uint8_t> bytes = pe.File();
  bytes.resize(0x610);
  truncated.Map(0, bytes);
  EXPECT_FALSE(ExportRvaFromFile(truncated, 1, rva));
}

}  // namespace
}  // namespace qor
