#include "crash/attach/text_search.h"

#include <gtest/gtest.h>

#include "crash/attach/case_compare.h"

namespace qor {
namespace {

TEST(FindSubText, ForwardsBackwardsAndBounds) {
  struct Case {
    const char* sub;
    const char* text;
    size_t from, to;
    bool ignore_case;
    size_t want;
  } const cases[] = {
      {"ab", "xxabyyab", 1, 8, false, 3},
      {"ab", "xxabyyab", 4, 8, false, 7},
      {"ab", "xxabyyab", 8, 1, false, 7},   // backwards finds the last one
      {"ab", "xxabyyab", 6, 1, false, 3},   // ... starting before it
      {"ab", "xxabyyab", 1, 2, false, 0},   // start positions end at 2
      {"ab", "xxabyyab", 1, 3, false, 3},
      {"AB", "xxabyyab", 1, 8, false, 0},
      {"AB", "xxabyyab", 8, 1, true, 7},
      {"\xC4", "x\xE4", 1, 2, true, 2},     // code-page letters fold too
      {"", "abc", 1, 3, false, 0},
      {"a", "", 1, 1, false, 0},
      {"a", "abc", 0, 3, false, 0},
      {"a", "abc", 1, 0, false, 0},
      {"c", "abc", 9, 12, false, 0},        // outside the text
      {"c", "abc", 99, 1, false, 3},        // backwards from beyond the end
      {"abcd", "abc", 1, 3, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.sub << " in " << c.text << " " << c.from << ".." << c.to);
    EXPECT_EQ(FindSubText(c.sub, c.text, c.from, c.to, c.ignore_case), c.want);
  }
}

TEST(FindSubText, StartsWithNoCase) {
  EXPECT_TRUE(StartsWithNoCase("Content-Type: x", "content-type:"));
  EXPECT_FALSE(StartsWithNoCase("x-Content-Type:", "content-type:"));
  EXPECT_FALSE(StartsWithNoCase("ab", "abc"));
}

TEST(FindCharOf, BothDirections) {
  const CharSet digits = MakeCharSet("0123456789");
  EXPECT_EQ(FindCharOf(digits, "ab1cd2e", 1, 7), 3u);
  EXPECT_EQ(FindCharOf(digits, "ab1cd2e", 7, 1), 6u);
  EXPECT_EQ(FindCharOf(digits, "ab1cd2e", 4, 5), 0u);
  EXPECT_EQ(FindCharOf(digits, "ab1cd2e", 20, 1), 6u);
  EXPECT_EQ(FindCharOf(digits, "ab1cd2e", 8, 20), 0u);
  EXPECT_EQ(FindCharOf(digits, "", 1, 1), 0u);
}

TEST(CaseTable, FoldsCodePage1252Letters) {
  for (int c = 'A'; c <= 'Z'; ++c) EXPECT_EQ(LowerCaseChar(c), c + 32);
  EXPECT_EQ(LowerCaseChar(138), 154);
  EXPECT_EQ(LowerCaseChar(140), 156);
  EXPECT_EQ(LowerCaseChar(142), 158);
  EXPECT_EQ(LowerCaseChar(159), 255);
  EXPECT_EQ(LowerCaseChar(192), 224);
  EXPECT_EQ(LowerCaseChar(222), 254);
  EXPECT_EQ(LowerCaseChar(215), 215);  // multiplication sign
  EXPECT_EQ(LowerCaseChar(223), 223);  // sharp s has no upper case here
  EXPECT_EQ(LowerCaseChar('a'), 'a');
}

TEST(CompareNoCase, TableThenLength) {
  EXPECT_EQ(CompareNoCase("Hello", "hELLO"), 0);
  EXPECT_LT(CompareNoCase("abc", "abd"), 0);
  EXPECT_GT(CompareNoCase("ABD", "abc"), 0);
  EXPECT_LT(CompareNoCase("ab", "ABC"), 0);
  EXPECT_GT(CompareNoCase("abc", "AB"), 0);
  EXPECT_TRUE(EqualNoCase("\xC9t\xC9", "\xE9T\xE9"));
  EXPECT_FALSE(EqualNoCase("a", "a "));
  // High bytes compare as unsigned values.
  EXPECT_GT(CompareNoCase("\xF0", "a"), 0);
}

TEST(ToUpperText, OnlyAsciiAndThreeUmlauts) {
  std::string text = "abz\xE4\xF6\xFC\xE9\xFF{";
  ToUpperText(text);
  EXPECT_EQ(text, "ABZ\xC4\xD6\xDC\xE9\xFF{");
}

}  // namespace
}  // namespace qor
