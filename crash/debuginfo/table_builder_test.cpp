#include "crash/debuginfo/table_builder.h"

#include <gtest/gtest.h>

#include "crash/debuginfo/testing/debug_tables.h"

namespace qor {
namespace {

using test::TablePublic;
using test::TableSegment;
using test::TablesOf;

constexpr uint32_t kCode = 0x401000;
constexpr uint32_t kData = 0x500000;

class TableBuilderTest : public ::testing::Test {
 protected:
  TableBuilderTest() {
    map_.BaseOfCode = kCode;
    map_.BaseOfData = kData;
  }

  std::vector<TableSegment> Segments() const { return TablesOf(map_).segments; }
  std::vector<TablePublic> Publics() const { return TablesOf(map_).publics; }

  TMapFile map_;
  TableBuilder builder_{map_};
};

TEST_F(TableBuilderTest, SourceAndProjectEndingsAreDroppedFromUnitNames) {
  for (const char* name : {"Main.pas", "Main.PAS", "Main.dpr", "Main.DpR"}) {
    builder_.AddSegment(SymbolKind::kCode, true, 0, false, false, name, 1);
  }
  for (const char* name : {"Main.pass", "Main.inc", "Main.cpp", "pas", "a.b.pas"}) {
    builder_.AddSegment(SymbolKind::kCode, true, 0, false, false, name, 1);
  }
  std::vector<std::string> units;
  for (const TableSegment& s : Segments()) units.push_back(s.unit);
  EXPECT_EQ(units, (std::vector<std::string>{"Main", "Main", "Main", "Main", "Main.pass",
                                             "Main.inc", "Main.cpp", "pas", "a.b"}));
}

TEST_F(TableBuilderTest, BasesAreAddedByKindAndCodeOnlyDropsData) {
  builder_.AddSegment(SymbolKind::kCode, true, 0x10, false, false, "A", 4);
  builder_.AddSegment(SymbolKind::kData, true, 0x20, false, false, "B", 4);
  builder_.AddSegment(SymbolKind::kCode, false, 0x30, false, false, "C", 4);
  ASSERT_EQ(map_.SegmentCount, 3);
  EXPECT_EQ(map_.Segments[0].Start, kCode + 0x10);
  EXPECT_EQ(map_.Segments[1].Start, kData + 0x20);
  EXPECT_EQ(map_.Segments[1].IsCode, 0);
  EXPECT_EQ(map_.Segments[2].Start, 0x30u);

  map_.CodeOnly = true;
  builder_.AddSegment(SymbolKind::kData, true, 0x40, false, false, "D", 4);
  builder_.AddPublic(SymbolKind::kData, "Variable", 0x20, false);
  EXPECT_EQ(map_.SegmentCount, 3);
  EXPECT_EQ(map_.PublicCount, 0);
}

TEST_F(TableBuilderTest, MergeExtendsTheCurrentSegmentOfTheSameNameWithinTwoBytes) {
  builder_.AddSegment(SymbolKind::kCode, true, 0x100, true, false, "A", 0x10);
  builder_.AddSegment(SymbolKind::kCode, true, 0x112, true, false, "A", 0x10);  // 2 bytes after
  builder_.AddSegment(SymbolKind::kCode, true, 0x105, true, false, "A", 0x4);   // inside
  builder_.AddSegment(SymbolKind::kCode, true, 0x125, true, false, "A", 0x10);  // 3 bytes after
  builder_.AddSegment(SymbolKind::kCode, true, 0x135, true, false, "a", 0x10);  // other case
  EXPECT_EQ(Segments(),
            (std::vector<TableSegment>{
                {true, 0x100, 0x22, "A"}, {true, 0x125, 0x10, "A"}, {true, 0x135, 0x10, "a"}}));
}

TEST_F(TableBuilderTest, SortedInsertKeepsTheOrderAndTheOtherKindsCurrentSegment) {
  builder_.AddSegment(SymbolKind::kCode, true, 0x200, false, true, "B", 0x10);
  builder_.AddSegment(SymbolKind::kData, true, 0x000, false, true, "D", 0x10);
  builder_.AddSegment(SymbolKind::kCode, true, 0x100, false, true, "A", 0x10);
  builder_.AddSegment(SymbolKind::kCode, true, 0x100, false, true, "A2", 0x20);
  // The data segment moved up twice; merging into it must still find it.
  builder_.AddSegment(SymbolKind::kData, true, 0x010, true, true, "D", 0x10);
  EXPECT_EQ(Segments(), (std::vector<TableSegment>{{true, 0x100, 0x20, "A2"},
                                                   {true, 0x100, 0x10, "A"},
                                                   {true, 0x200, 0x10, "B"},
                                                   {false, 0x000, 0x20, "D"}}));
}

TEST_F(TableBuilderTest, PublicsAreNamedAfterTheirSegment) {
  builder_.AddSegment(SymbolKind::kCode, true, 0x000, false, false, "Main", 0x100);
  builder_.AddSegment(SymbolKind::kCode, true, 0x100, false, false, "Other", 0x100);
  builder_.SortSegments();
  builder_.AddPublic(SymbolKind::kCode, "Main", 0x10, false);  // the unit's own code
  builder_.AddPublic(SymbolKind::kCode, "@Main@TForm1@Create$qqrv", 0x20, false);  // own unit
  builder_.AddPublic(SymbolKind::kCode, "@Lib@Helper$qqrv", 0x30, false);          // another unit's
  builder_.AddPublic(SymbolKind::kCode, "@$xp$6TForm1", 0x40, false);  // compiler helper
  builder_.AddPublic(SymbolKind::kCode, "@$xp$", 0x50, false);  // too short for one: unmangled
  builder_.AddPublic(SymbolKind::kCode, "Main", 0x210, false);  // in no segment
  EXPECT_EQ(Publics(), (std::vector<TablePublic>{{true, "initialization", 0x10},
                                                 {true, "TForm1.Create", 0x20},
                                                 {true, "Lib.Helper", 0x30},
                                                 {true, "$xp", 0x50},
                                                 {true, "Main", 0x210}}));
}

TEST_F(TableBuilderTest, PublicsCreateSegmentsForUnitsWithoutOne) {
  builder_.AddSegment(SymbolKind::kCode, true, 0x400, false, false, "Known", 0x100);
  builder_.SortSegments();
  builder_.AddPublic(SymbolKind::kCode, "@Lib@One$qqrv", 0x100, true);
  builder_.AddPublic(SymbolKind::kCode, "@Lib@Two$qqrv", 0x180, true);
  // The current Lib segment grows up to Three but stops where Known starts.
  builder_.AddPublic(SymbolKind::kCode, "@Tail@Three$qqrv", 0x500, true);
  builder_.AddPublic(SymbolKind::kCode, "@Known@Four$qqrv", 0x410, true);
  // Four lies in Known: nothing new.
  EXPECT_EQ(Segments(), (std::vector<TableSegment>{{true, 0x100, 0x300, "Lib"},
                                                   {true, 0x400, 0x100, "Known"},
                                                   {true, 0x500, 1, "Tail"}}));
}

TEST_F(TableBuilderTest, AscendingOnlyLinesDropRecordsThatDoNotAdvance) {
  builder_.AddLine(1, 0x10, false);
  builder_.AddLine(2, 0x10, true);
  builder_.AddLine(3, 0x08, true);
  builder_.AddLine(4, 0x08, false);
  builder_.AddLine(5, 0x20, true);
  ASSERT_EQ(map_.LineCount, 3);
  EXPECT_EQ(map_.Lines[1].Line, 4);
  EXPECT_EQ(map_.Lines[2].Line, 5);
}

TEST_F(TableBuilderTest, CleanUpClosesGapsOnlyWhereAskedAndMergesUnits) {
  const std::vector<TableSegment> input{{true, 0x000, 0x10, "A"},     {true, 0x040, 0x10, "A"},
                                        {true, 0x080, 0x30, "B"},     {true, 0x0A0, 0x10, "C"},
                                        {true, 0x100, 0x00, "Empty"}, {false, 0x000, 0x10, "D"},
                                        {false, 0x100, 0x10, "E"}};
  for (bool overlapping_only : {false, true}) {
    builder_.Clear();
    for (const TableSegment& s : input) {
      builder_.AddSegment(s.code ? SymbolKind::kCode : SymbolKind::kData, true, s.start, false,
                          false, s.unit, s.length);
    }
    builder_.CleanUpSegments(overlapping_only);
    if (overlapping_only) {
      // Only B and C overlap: B is cut where C starts.
      EXPECT_EQ(Segments(), (std::vector<TableSegment>{{true, 0x000, 0x10, "A"},
                                                       {true, 0x040, 0x10, "A"},
                                                       {true, 0x080, 0x20, "B"},
                                                       {true, 0x0A0, 0x10, "C"},
                                                       {false, 0x000, 0x10, "D"},
                                                       {false, 0x100, 0x10, "E"}}));
    } else {
      // The gap between the A parts and between A and B is closed, the A
      // parts merged, B cut where C starts.
      EXPECT_EQ(Segments(), (std::vector<TableSegment>{{true, 0x000, 0x80, "A"},
                                                       {true, 0x080, 0x20, "B"},
                                                       {true, 0x0A0, 0x10, "C"},
                                                       {false, 0x000, 0x100, "D"},
                                                       {false, 0x100, 0x10, "E"}}));
    }
  }
}

// Of two segments with one start the later (shorter) one stays, but a unit
// must not lose the reach of the longer one, nor a merged unit the reach of
// a neighbour inside it.
TEST_F(TableBuilderTest, CleanUpNeverShrinksAUnit) {
  builder_.AddSegment(SymbolKind::kCode, true, 0x000, false, false, "Main", 0x100);
  builder_.AddSegment(SymbolKind::kCode, true, 0x000, false, false, "Main", 1);
  builder_.AddSegment(SymbolKind::kCode, true, 0x050, false, false, "Main", 1);
  builder_.AddSegment(SymbolKind::kCode, true, 0x000, false, false, "Main", 0x80);
  builder_.SortSegments();
  builder_.CleanUpSegments(false);
  EXPECT_EQ(Segments(), (std::vector<TableSegment>{{true, 0x000, 0x100, "Main"}}));
}

TEST_F(TableBuilderTest, UnitPrefixIsRemovedOnlyBeforeAFullStop) {
  builder_.AddSegment(SymbolKind::kCode, true, 0, false, false, "Main", 0x100);
  builder_.SortSegments();
  EXPECT_EQ(builder_.WithoutUnitPrefix("Main.TForm1.FormCreate", kCode + 8), "TForm1.FormCreate");
  EXPECT_EQ(builder_.WithoutUnitPrefix("MAIN.Run", kCode + 8), "Run");
  EXPECT_EQ(builder_.WithoutUnitPrefix("MainForm.Run", kCode + 8), "MainForm.Run");
  EXPECT_EQ(builder_.WithoutUnitPrefix("Main.", kCode + 8), "");
  EXPECT_EQ(builder_.WithoutUnitPrefix("Main.Run", kCode + 0x100), "Main.Run");
}

}  // namespace
}  // namespace qor
