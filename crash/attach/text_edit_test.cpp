#include "crash/attach/text_edit.h"

#include <gtest/gtest.h>

namespace qor {
namespace {

TEST(TrimBlanks, ControlBytesCountAsBlanks) {
  std::string text("\0\t a b\r\n ", 9);
  TrimBlanks(text);
  EXPECT_EQ(text, "a b");
  std::string blank(" \x01\x1F ");
  TrimBlanks(blank);
  EXPECT_EQ(blank, "");
  EXPECT_EQ(TrimmedBlanks("  x!\x7F"), "x!\x7F");
  EXPECT_EQ(TrimmedBlanks(""), "");
}

TEST(RemoveChars, ReportsWhetherAnythingWent) {
  std::string text = "a-b_c-";
  EXPECT_TRUE(RemoveChars(text, MakeCharSet("-_")));
  EXPECT_EQ(text, "abc");
  EXPECT_FALSE(RemoveChars(text, MakeCharSet("-_")));
  EXPECT_EQ(text, "abc");
}

TEST(ReplaceAll, ScanModes) {
  struct Case {
    const char* text;
    const char* find;
    const char* replacement;
    bool ignore_case, rescan;
    const char* want;
    bool replaced;
  } const cases[] = {
      {"%AppName% runs %appname%", "%appname%", "Demo", true, false, "Demo runs Demo", true},
      {"%AppName%", "%appname%", "Demo", false, false, "%AppName%", false},
      {"aaa", "a", "aa", false, false, "aaaaaa", true},       // no re-match of inserted text
      {"abab", "ab", "b", false, false, "bb", true},
      // Rescan: the inserted text and what follows it can match again.
      {"abb", "ab", "xa", false, false, "xab", true},
      {"abb", "ab", "xa", false, true, "xxa", true},
      {"..\r\n.", "\n.", "\n..", false, false, "..\r\n..", true},
      // A rescan that would find the text inside every replacement goes on
      // behind it instead of growing the text forever.
      {"aa", "a", "ba", false, true, "baba", true},
      {"A", "a", "xA", true, true, "xA", true},
      {"abc", "", "x", false, false, "abc", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.text << " / " << c.find << " -> " << c.replacement);
    std::string text = c.text;
    EXPECT_EQ(ReplaceAll(text, c.find, c.replacement, c.ignore_case, c.rescan), c.replaced);
    EXPECT_EQ(text, c.want);
  }
}

TEST(PadText, SidesAndMinusSign) {
  struct Case {
    const char* text;
    int width;
    char fill;
    const char* want;
  } const cases[] = {
      {"7", 3, ' ', "  7"},   {"7", -3, '.', "7.."},   {"-7", 4, '0', "-007"},
      {"-7", 4, '*', "**-7"}, {"-7", -4, '0', "-700"}, {"1234", 2, '0', "1234"},
      {"", 2, '0', "00"},     {"ab", 0, '0', "ab"},
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    PadText(text, c.width, c.fill);
    EXPECT_EQ(text, c.want) << c.text << " " << c.width;
  }
}

TEST(WidenLatin1, EveryByteBecomesOneUnit) {
  EXPECT_EQ(WidenLatin1("A\xE9", false), std::string("A\0\xE9\0", 4));
  EXPECT_EQ(WidenLatin1("A", true), std::string("A\0\0\0", 4));
  EXPECT_EQ(WidenLatin1("", false), "");
}

}  // namespace
}  // namespace qor
