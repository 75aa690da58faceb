#include "crash/attach/list_text.h"

#include <gtest/gtest.h>

namespace qor {
namespace {

TEST(TidyList, TrimsAroundDelimitersAndDropsEmptyItems) {
  struct Case {
    const char* list;
    char delimiter;
    const char* want;
  } const cases[] = {
      {" a , ,b ;", ',', "a,b ;"},
      {" a , ,b ;", ';', "a , ,b"},
      {",,a,,,b,,", ',', "a,b"},
      {"a b | c d", '|', "a b|c d"},
      {" \t, ,\r\n", ',', ""},
      {"", ',', ""},
      {"x", ',', "x"},
      {"a ,\x01, b", ',', "a,b"},
  };
  for (const Case& c : cases) {
    std::string list = c.list;
    TidyList(list, c.delimiter);
    EXPECT_EQ(list, c.want) << "'" << c.list << "' with " << c.delimiter;
  }
}

TEST(ListCount, CountsDelimitersPlusOne) {
  EXPECT_EQ(ListCount("", ','), 0u);
  EXPECT_EQ(ListCount("a", ','), 1u);
  EXPECT_EQ(ListCount("a,b", ','), 2u);
  EXPECT_EQ(ListCount(",", ','), 2u);
  EXPECT_EQ(ListCount("a|b|c", '|'), 3u);
}

TEST(ListItem, OneBasedAndEmptyBeyondTheEnd) {
  EXPECT_EQ(ListItem("a,bb,c", 1, ','), "a");
  EXPECT_EQ(ListItem("a,bb,c", 2, ','), "bb");
  EXPECT_EQ(ListItem("a,bb,c", 3, ','), "c");
  EXPECT_EQ(ListItem("a,bb,c", 4, ','), "");
  EXPECT_EQ(ListItem("a,bb,c", 0, ','), "");
  EXPECT_EQ(ListItem("a,,c", 2, ','), "");
  EXPECT_EQ(ListItem("a,,c", 3, ','), "c");
  EXPECT_EQ(ListItem("", 1, ','), "");
}

TEST(ListContains, WholeItemsIgnoringCase) {
  EXPECT_TRUE(ListContains("a@x.org,B@Y.ORG", "b@y.org", ','));
  EXPECT_TRUE(ListContains("a@x.org,B@Y.ORG", "A@x.org", ','));
  EXPECT_FALSE(ListContains("a@x.org,B@Y.ORG", "b@y", ','));
  EXPECT_FALSE(ListContains("ab", "a", ','));
  EXPECT_FALSE(ListContains("", "", ','));
  EXPECT_TRUE(ListContains("a,,b", "", ','));
}

}  // namespace
}  // namespace qor
