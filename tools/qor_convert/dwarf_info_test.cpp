#include "tools/qor_convert/dwarf_info.h"

#include <gtest/gtest.h>

#include "tools/qor_convert/testing/dwarf_bytes.h"

namespace qor::convert {
namespace {

using test::Bytes;

enum : uint64_t {
  kCompileUnit = 0x11, kSubprogram = 0x2E, kInlined = 0x1D, kLexicalBlock = 0x0B, kNamespace = 0x39,
  kName = 0x03, kStmtList = 0x10, kLowPc = 0x11, kHighPc = 0x12, kOrigin = 0x31, kRanges = 0x55,
  kCallFile = 0x58, kCallLine = 0x59, kLinkageName = 0x6E,
  kAddr = 0x01, kData1 = 0x0B, kData2 = 0x05, kData4 = 0x06, kString = 0x08, kStrp = 0x0E,
  kUdata = 0x0F, kRef4 = 0x13, kSecOffset = 0x17, kImplicitConst = 0x21,
};

void Abbrev(Bytes& b, uint64_t code, uint64_t tag, bool children,
            std::initializer_list<std::pair<uint64_t, uint64_t>> attributes) {
  b.Uleb(code).Uleb(tag).U8(children ? 1 : 0);
  for (const auto& [name, form] : attributes) {
    b.Uleb(name).Uleb(form);
    if (form == kImplicitConst) b.Sleb(7);
  }
  b.Uleb(0).Uleb(0);
}

Bytes Abbrevs() {
  Bytes b;
  Abbrev(b, 1, kCompileUnit, true, {{kName, kString}, {kStmtList, kSecOffset}, {kLowPc, kAddr}});
  Abbrev(b, 2, kSubprogram, true, {{kName, kString}, {kLowPc, kAddr}, {kHighPc, kData4}});
  Abbrev(b, 3, kLexicalBlock, true, {{kLowPc, kAddr}, {kHighPc, kData4}});
  Abbrev(b, 4, kInlined, true,
         {{kOrigin, kRef4}, {kLowPc, kAddr}, {kHighPc, kData4}, {kCallFile, kData1}, {kCallLine, kData2}});
  Abbrev(b, 5, kInlined, false,
         {{kOrigin, kRef4}, {kRanges, kSecOffset}, {kCallFile, kImplicitConst}, {kCallLine, kUdata}});
  Abbrev(b, 6, kSubprogram, false, {{kLinkageName, kStrp}, {kName, kString}});
  Abbrev(b, 7, kSubprogram, false, {{kName, kString}});
  Abbrev(b, 8, kNamespace, true, {{kName, kString}});
  b.Uleb(0);
  return b;
}

struct Sections {
  Bytes info, abbrev = Abbrevs(), str, ranges, rnglists;
  DwarfSections View() const {
    return {info.bytes, abbrev.bytes, str.bytes, {}, {}, {}, ranges.bytes, rnglists.bytes};
  }
};

// One unit: Outer holds, inside a lexical block, an inlined call of
// ns::Step (named by its linkage name), which holds an inlined call of
// tools::helper (which has only its plain name) with two address ranges. `version` 4 reads the ranges
// from .debug_ranges, 5 from .debug_rnglists.
Sections OneUnit(uint16_t version) {
  Sections s;
  s.str.Str("_ZN2ns4StepEi");
  if (version == 4) {
    s.ranges.U32(0xFFFFFFFF).U32(0x401000).U32(0x20).U32(0x24).U32(0x30).U32(0x34).U32(0).U32(0);
  } else {
    s.rnglists.U8(5).U32(0x401000).U8(4).Uleb(0x20).Uleb(0x24).U8(6).U32(0x401030).U32(0x401034).U8(0);
  }
  const uint32_t header = version == 5 ? 12 : 11;
  // DIE offsets inside the unit, counted from its first byte.
  const uint32_t step_die = header + 68, helper_die = step_die + 17;
  Bytes dies;
  dies.Uleb(1).Str("a.cpp").U32(0).U32(0);                               // 15 bytes
  dies.Uleb(2).Str("Outer").U32(0x401000).U32(0x100);                    // 15
  dies.Uleb(3).U32(0x401010).U32(0x40);                                  // 9
  dies.Uleb(4).U32(step_die).U32(0x401018).U32(0x20).U8(2).U16(42);      // 16
  dies.Uleb(5).U32(helper_die).U32(0).Uleb(17);                          // 10
  dies.U8(0).U8(0).U8(0);                                                 // 3: inlined, block, Outer
  dies.Uleb(6).U32(0).Str("Step");                                        // 10
  dies.Uleb(8).Str("tools");                                               // 7
  dies.Uleb(7).Str("helper");
  dies.U8(0).U8(0);
  Bytes body;
  if (version == 5) {
    body.U16(5).U8(1).U8(4).U32(0);
  } else {
    body.U16(4).U32(0).U8(4);
  }
  body.Append(dies);
  s.info.WithLength(body);
  return s;
}

std::vector<LineProgram> Programs() {
  LineProgram p;
  p.files = {"", "a.cpp", "step.h", "helper.h"};
  return {p};
}

TEST(DwarfInfoTest, InlinedCallsWithTheirCallersNamesAndRanges) {
  for (const uint16_t version : {4, 5}) {
    SCOPED_TRACE(version);
    const Sections s = OneUnit(version);
    const std::vector<LineProgram> programs = Programs();
    std::vector<InlinedCall> calls;
    std::string error;
    ASSERT_TRUE(ReadInlinedCalls(s.View(), programs, calls, error)) << error;
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].function, "ns.Step");
    EXPECT_EQ(calls[0].call_file, "step.h");
    EXPECT_EQ(calls[0].call_line, 42u);
    EXPECT_EQ(calls[0].parent, -1);
    EXPECT_EQ(calls[0].depth, 1);
    ASSERT_EQ(calls[0].ranges.size(), 1u);
    EXPECT_EQ(calls[0].ranges[0].begin, 0x401018u);
    EXPECT_EQ(calls[0].ranges[0].end, 0x401038u);
    EXPECT_EQ(calls[1].function, "tools.helper");
    EXPECT_EQ(calls[1].call_file, "");  // file 7 is not in the line program
    EXPECT_EQ(calls[1].call_line, 17u);
    EXPECT_EQ(calls[1].parent, 0);
    EXPECT_EQ(calls[1].depth, 2);
    ASSERT_EQ(calls[1].ranges.size(), 2u);
    EXPECT_EQ(calls[1].ranges[0].begin, 0x401020u);
    EXPECT_EQ(calls[1].ranges[0].end, 0x401024u);
    EXPECT_EQ(calls[1].ranges[1].begin, 0x401030u);
    EXPECT_EQ(calls[1].ranges[1].end, 0x401034u);
  }
}

TEST(DwarfInfoTest, DamagedSectionsEndTheReaderWithinTheirBytes) {
  for (const uint16_t version : {4, 5}) {
    const Sections whole = OneUnit(version);
    const std::vector<LineProgram> programs = Programs();
    for (size_t size = 0; size < whole.info.size(); ++size) {
      Sections cut = whole;
      cut.info.bytes.resize(size);
      std::vector<InlinedCall> calls;
      std::string error;
      if (!ReadInlinedCalls(cut.View(), programs, calls, error)) {
        EXPECT_FALSE(error.empty());
      }
    }
    for (size_t size = 0; size < whole.abbrev.size(); ++size) {
      Sections cut = whole;
      cut.abbrev.bytes.resize(size);
      std::vector<InlinedCall> calls;
      std::string error;
      ReadInlinedCalls(cut.View(), programs, calls, error);
    }
  }
}

}  // namespace
}  // namespace qor::convert
