// The table of requests being served by a web-server extension.
#include "crash/core/request_table.h"

#include <gtest/gtest.h>

namespace qor {
namespace {

TEST(RequestTable, GrowsFrom64ByDoublingAndKeepsEveryEntry) {
  RequestTable table;
  EXPECT_EQ(table.Capacity(), 0u);
  int blocks[200];
  for (uint32_t i = 0; i < 200; ++i) {
    EXPECT_EQ(table.Add(1000 + i, &blocks[i], i, nullptr), i);
    if (i == 0) {
      EXPECT_EQ(table.Capacity(), 64u);
    }
    if (i == 64) {
      EXPECT_EQ(table.Capacity(), 128u);
    }
  }
  EXPECT_EQ(table.Capacity(), 256u);
  for (uint32_t i = 0; i < 200; ++i) {
    const TWebRequest* entry = table.FindConnection(i);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->ServerSupport, 1000 + i);
    EXPECT_EQ(entry->Copy, &blocks[i]);
  }
  EXPECT_EQ(table.FindConnection(200), nullptr);
}

TEST(RequestTable, RemovalMovesTheLastEntryAndReportsTheHeaderFlag) {
  RequestTable table;
  int a = 0, b = 0, c = 0;
  table.Add(1, &a, 10, nullptr);
  table.Add(2, &b, 20, &a);
  const size_t hint_c = table.Add(3, &c, 30, nullptr);
  table.FindConnection(10)->HeaderSent = true;

  EXPECT_TRUE(table.Remove(&a, 0));
  EXPECT_EQ(table.Count(), 2u);
  // c moved into a's slot: its old hint no longer names it, the search does.
  EXPECT_EQ(table.FindCopy(&c, hint_c), table.FindConnection(30));
  EXPECT_EQ(table.FindConnection(10), nullptr);
  EXPECT_FALSE(table.Remove(&c, hint_c));
  EXPECT_FALSE(table.Remove(&c, 0));  // already gone
  EXPECT_EQ(table.Count(), 1u);
  EXPECT_EQ(table.FindConnection(20)->Copy, &b);
  EXPECT_EQ(table.FindConnection(20)->Server, &a);
  EXPECT_FALSE(table.Remove(&b, 99));
  EXPECT_EQ(table.Count(), 0u);
  EXPECT_EQ(table.FindCopy(&b, 0), nullptr);
}

}  // namespace
}  // namespace qor
