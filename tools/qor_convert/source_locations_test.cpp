#include "tools/qor_convert/source_locations.h"

#include <gtest/gtest.h>

namespace qor::convert {
namespace {

// a.cpp calls the inlined function inl at line 12; inl (in b.h) calls the
// inlined function deep at its line 25. Two rows share 0x1008, of which
// the last counts.
std::vector<LineProgram> Programs() {
  LineProgram p;
  p.files = {"", "a.cpp", "b.h"};
  p.sequences.push_back({{{0x1000, 10, 1}, {0x1004, 20, 2}, {0x1008, 21, 2}, {0x1008, 11, 1}}, 0x1010});
  // Code of a discarded copy, and one claiming code already claimed.
  p.sequences.push_back({{{0x10, 99, 1}}, 0x20});
  p.sequences.push_back({{{0x100C, 77, 2}}, 0x1014});
  return {p};
}

std::vector<InlinedCall> Calls() {
  return {{{{0x1004, 0x100C}}, "inl", "a.cpp", 12, -1, 1},
          {{{0x1006, 0x1007}}, "deep", "b.h", 25, 0, 2}};
}

bool KeepAbove(uint32_t begin, uint32_t) { return begin >= 0x1000; }

struct Expected {
  uint32_t begin, end;
  const char* file;
  uint32_t line;
  std::vector<InlineLevel> inlined;
};

TEST(SourceLocationsTest, OutermostLocationAndTheChainOfInlinedFunctions) {
  const std::vector<LocatedRange> ranges = LocateCode(Programs(), Calls(), KeepAbove);
  const std::vector<Expected> expected = {
      {0x1000, 0x1004, "a.cpp", 10, {}},
      {0x1004, 0x1006, "a.cpp", 12, {{"inl", "b.h", 20}}},
      {0x1006, 0x1007, "a.cpp", 12, {{"deep", "b.h", 20}, {"inl", "b.h", 25}}},
      {0x1007, 0x1008, "a.cpp", 12, {{"inl", "b.h", 20}}},
      {0x1008, 0x100C, "a.cpp", 12, {{"inl", "a.cpp", 11}}},
      {0x100C, 0x1010, "a.cpp", 11, {}},
      {0x1010, 0x1014, "b.h", 77, {}},
  };
  ASSERT_EQ(ranges.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(ranges[i].begin, expected[i].begin);
    EXPECT_EQ(ranges[i].end, expected[i].end);
    EXPECT_EQ(ranges[i].file, expected[i].file);
    EXPECT_EQ(ranges[i].line, expected[i].line);
    ASSERT_EQ(ranges[i].inlined.size(), expected[i].inlined.size());
    for (size_t k = 0; k < expected[i].inlined.size(); ++k) {
      EXPECT_EQ(ranges[i].inlined[k].function, expected[i].inlined[k].function);
      EXPECT_EQ(ranges[i].inlined[k].file, expected[i].inlined[k].file);
      EXPECT_EQ(ranges[i].inlined[k].line, expected[i].inlined[k].line);
    }
  }
}

}  // namespace
}  // namespace qor::convert
