#include "crash/debuginfo/map_file.h"

#include <gtest/gtest.h>

#include "crash/debuginfo/debug_info_cache.h"
#include "crash/debuginfo/halving_search.h"

namespace qor {
namespace {

TMfSegment CodeSegment(uint32_t start, uint32_t length, std::string unit, uint8_t has_lines = 0) {
  return TMfSegment{1, 1, start, length, std::move(unit), has_lines};
}

TMfPublic Public(std::string name, uint32_t address) { return TMfPublic{1, 1, std::move(name), address}; }

// Two units, four publics, lines in both, code ending at 0x1400.
void FillSample(TMapFile& map) {
  map.Valid = true;
  map.TopOfCode = 0x1400;
  map.AddSegment(CodeSegment(0x1000, 0x200, "main.cpp"));
  map.AddSegment(CodeSegment(0x1200, 0x200, "form1.cpp"));
  map.AddPublic(Public("main", 0x1000));
  map.AddPublic(Public("Helper", 0x1080));
  map.AddPublic(Public("TForm1.FormCreate", 0x1200));
  map.AddPublic(Public("TForm1.Click", 0x1300));
  map.AddLine(10, 0x1000);
  map.AddLine(11, 0x1010);
  map.AddLine(40, 0x1200);
  map.AddLine(41, 0x1220);
}

TEST(HalvingSearchTest, FindsWhatALinearSearchFindsForEveryTableSize) {
  for (int32_t count = 0; count <= 40; ++count) {
    std::vector<uint32_t> starts;
    for (int32_t i = 0; i < count; ++i) starts.push_back(100 + 10 * static_cast<uint32_t>(i));
    for (uint32_t address = 90; address < 100 + 10u * static_cast<uint32_t>(count) + 10; ++address) {
      int32_t linear = -1;
      for (int32_t i = 0; i < count; ++i) {
        if (starts[i] <= address && (i + 1 == count || address < starts[i + 1])) linear = i;
      }
      const int32_t halving = HalvingSearch(count, [&](int32_t i) {
        if (address < starts[i]) return -1;
        if (i + 1 < count && address >= starts[i + 1]) return 1;
        return 0;
      });
      ASSERT_EQ(halving, linear) << "count " << count << " address " << address;
    }
  }
}

TEST(MapFileTest, LookupsOnAnInvalidObjectFindNothing) {
  TMapFile map;
  FillSample(map);
  map.Valid = false;
  EXPECT_EQ(map.SegmentAt(SymbolKind::kCode, 0x1000).Valid, 0);
  EXPECT_EQ(map.PublicAt(0x1000).Valid, 0);
  EXPECT_EQ(map.LineAt(0x1000), 0);
  EXPECT_EQ(map.PublicAddressByName(SymbolKind::kCode, "main.cpp", false, "main"), 0u);
}

TEST(MapFileTest, LastPublicEndsAtTopOfCodeUnlessTopOfCodeIsUnset) {
  TMapFile map;
  FillSample(map);
  EXPECT_EQ(map.PublicAt(0x13FF).Name, "TForm1.Click");
  EXPECT_EQ(map.PublicAt(0x1400).Valid, 0);
  EXPECT_EQ(map.PublicAt(0x0FFF).Valid, 0);
  map.TopOfCode = 0;
  EXPECT_EQ(map.PublicAt(0xFFFFFFFF).Name, "TForm1.Click");
}

TEST(MapFileTest, LineRecordOutsideTheAddressSegmentGivesZero) {
  TMapFile map;
  FillSample(map);
  uint32_t next = 0;
  EXPECT_EQ(map.LineAt(0x1150, &next), 11);
  EXPECT_EQ(next, 0x1200u);
  // gap.cpp has no record of its own; the record covering 0x1150 by address
  // belongs to main.cpp and must not be reported for it.
  map.Segments[0].Length = 0x100;
  map.AddSegment(CodeSegment(0x1100, 0x100, "gap.cpp"));
  map.SortSegments();
  EXPECT_EQ(map.LineAt(0x1150, &next), 0);
  EXPECT_EQ(next, 0x1151u);
  EXPECT_EQ(map.LineAt(0x1015), 11);
  // An address in no segment at all has no line either.
  EXPECT_EQ(map.LineAt(0x1500), 0);
}

TEST(MapFileTest, SingleLineRecordCoversEverythingAboveIt) {
  TMapFile map;
  map.Valid = true;
  map.AddSegment(CodeSegment(0x1000, 0x1000, "one.cpp"));
  map.AddLine(7, 0x1100);
  EXPECT_EQ(map.LineAt(0x10FF), 0);
  EXPECT_EQ(map.LineAt(0x1100), 7);
  EXPECT_EQ(map.LineAt(0x1FFF), 7);
}

TEST(MapFileTest, NoLineRecordsGiveMinusOneOnlyForSegmentsWithLines) {
  TMapFile map;
  map.Valid = true;
  map.AddSegment(CodeSegment(0x1000, 0x100, "segment%0", 1));
  map.AddSegment(CodeSegment(0x1100, 0x100, "segment%1", 0));
  EXPECT_EQ(map.LineAt(0x1010), -1);
  EXPECT_EQ(map.LineAt(0x1110), 0);
  AddressInfo info;
  ASSERT_TRUE(GetAddressInfo(map, 0x1010, info));
  EXPECT_EQ(info.line, 0);
}

TEST(MapFileTest, SegmentSearchKeepsCodeAndDataApart) {
  TMapFile map;
  map.Valid = true;
  map.AddSegment(TMfSegment{1, 0, 0x1000, 0x100, "data_unit", 0});
  map.AddSegment(CodeSegment(0x1000, 0x100, "code_unit"));
  map.AddSegment(CodeSegment(0x2000, 0x100, "late_code"));
  map.SortSegments();
  EXPECT_EQ(map.Segments[0].UnitName, "code_unit");
  EXPECT_EQ(map.SegmentAt(SymbolKind::kCode, 0x1050).UnitName, "code_unit");
  EXPECT_EQ(map.SegmentAt(SymbolKind::kData, 0x1050).UnitName, "data_unit");
  EXPECT_EQ(map.SegmentAt(SymbolKind::kData, 0x2050).Valid, 0);
  EXPECT_EQ(map.SegmentAt(SymbolKind::kCode, 0x1100).Valid, 0);
}

TEST(MapFileTest, PublicAddressByNameRetriesSourceExtensions) {
  TMapFile map;
  FillSample(map);
  struct Case {
    const char* unit;
    bool case_sensitive;
    const char* name;
    uint32_t expected;
  } cases[] = {
      {"main.cpp", true, "Helper", 0x1080},
      {"MAIN.CPP", false, "helper", 0x1080},
      {"main", false, "Helper", 0x1080},          // retried as main.cpp
      {"main", true, "helper", 0},                // case matters for the name
      {"main.c", false, "Helper", 0},             // has a ".": no retry
      {"main", false, "TForm1.Click", 0},         // other unit's public
      {"form1", false, "TForm1.FormCreate", 0x1200},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(map.PublicAddressByName(SymbolKind::kCode, c.unit, c.case_sensitive, c.name),
              c.expected)
        << c.unit << " " << c.name;
  }
}

TEST(MapFileTest, LinesAreSortedUnsigned) {
  TMapFile map;
  const uint32_t addresses[] = {0x90000000, 5, 0x7FFFFFFF, 0, 0xFFFFFFFF, 5, 300};
  for (uint32_t a : addresses) map.AddLine(1, a);
  map.SortLines();
  for (int32_t i = 1; i < map.LineCount; ++i) EXPECT_LE(map.Lines[i - 1].Address, map.Lines[i].Address);
}

TEST(MapFileTest, TablesGrowBySixteenThenByHalf) {
  EXPECT_EQ(NextTableCapacity(0), 16);
  EXPECT_EQ(NextTableCapacity(7), 16);
  EXPECT_EQ(NextTableCapacity(16), 24);
  EXPECT_EQ(NextTableCapacity(24), 36);
}

TEST(AddressHelpersTest, ProcedureNameOnlyAtThePublicsFirstByte) {
  TMapFile map;
  FillSample(map);
  map.ModuleFileName = "C:\\dir\\prog.exe";
  EXPECT_EQ(ProcedureNameAt(map, 0x1200), "form1.cpp.TForm1.FormCreate");
  EXPECT_EQ(ProcedureNameAt(map, 0x1201), "");
  map.Segments[1].UnitName = "";
  EXPECT_EQ(ProcedureNameAt(map, 0x1200), "TForm1.FormCreate");
  map.Publics[2].Name = "public%2";
  EXPECT_EQ(ProcedureNameAt(map, 0x1200), "public%2 (prog.exe)");
}

TEST(AddressHelpersTest, LineCacheSkipsLookupsInsideTheKnownRange) {
  TMapFile map;
  FillSample(map);
  int32_t line = 0;
  uint32_t start = 0, end = 0;
  LineAtCached(map, 0x1012, line, start, end);
  EXPECT_EQ(line, 11);
  EXPECT_EQ(start, 0x1012u);
  EXPECT_EQ(end, 0x1200u);
  map.Lines[1].Line = 99;  // not consulted while inside the range
  LineAtCached(map, 0x1100, line, start, end);
  EXPECT_EQ(line, 11);
  LineAtCached(map, 0x1221, line, start, end);
  EXPECT_EQ(line, 41);
  EXPECT_EQ(end, 0x1222u);  // last record: no successor
}

}  // namespace
}  // namespace qor
