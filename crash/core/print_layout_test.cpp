#include "crash/core/print_layout.h"

#include <gtest/gtest.h>

#include <string>

namespace qor {
namespace {

// A fixed-pitch font of 10 pixels per character, like Courier New.
int Pitch10(std::string_view text) { return static_cast<int>(text.size()) * 10; }

TEST(PrintFrame, MarginsFromA4At600Dpi) {
  // A4 at 600 dpi: 4960 x 7016 pixels on 210 x 297 mm, printable area
  // starting 100 pixels from the edges.
  PrintFrame frame;
  ASSERT_TRUE(PrintFrameFor({4760, 6816, 202, 289, 100, 100}, frame));
  EXPECT_EQ(frame.top, 236 - 100);         // 1 cm = 6816 * 10 / 289 = 235.8
  EXPECT_EQ(frame.left, 471 - 100);        // 2 cm = 4760 * 20 / 202 = 471.3
  EXPECT_EQ(frame.text_width, 4760 + 100 - 371 - 236);
  EXPECT_EQ(frame.usable_height, 6816 - 2 * 136);
  EXPECT_FALSE(PrintFrameFor({4760, 6816, 0, 0, 0, 0}, frame)) << "no page size";
}

TEST(WrapLine, BreaksAtBlanksAndInsideOverlongWords) {
  using Pieces = std::vector<std::string>;
  EXPECT_EQ(WrapLine("short line", 100, Pitch10), Pieces{"short line"});
  EXPECT_EQ(WrapLine("module date  main.cpp line 12", 100, Pitch10),
            (Pieces{"module", "date", "main.cpp", "line 12"}));
  EXPECT_EQ(WrapLine("abcdefghijklmnop qr", 100, Pitch10),
            (Pieces{"abcdefghij", "klmnop qr"})) << "nothing is lost off the right edge";
  EXPECT_EQ(WrapLine("", 100, Pitch10), Pieces{" "}) << "an empty line still takes room";
  EXPECT_EQ(WrapLine("abc", 0, Pitch10), (Pieces{"a", "b", "c"})) << "no width: no endless loop";
}

TEST(LayoutReport, WrappedLinesStayTogetherAcrossPageBreaks) {
  // Pages of five lines of 20 pixels, from y = 50; 10 characters a line.
  const PrintFrame frame{30, 50, 100, 100};
  const std::string report =
      "one\r\ntwo\r\n\r\nfour\r\n"
      "a wrapped line with three\r\n"  // does not fit the rest of page 0
      "seven";
  const auto lines = LayoutReport(report, frame, 20, Pitch10);
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[2].text, " ");
  EXPECT_EQ(lines[3].page, 0);
  EXPECT_EQ(lines[3].y, 110);
  EXPECT_EQ(lines[4].text, "a wrapped");
  EXPECT_EQ(lines[4].page, 1);
  EXPECT_EQ(lines[4].y, 50);
  EXPECT_EQ(lines[7].text, "seven");
  EXPECT_EQ(lines[7].y, 110);
}

TEST(LayoutReport, LineTallerThanAPageGoesOnOverTheBreak) {
  const PrintFrame frame{0, 0, 10, 40};  // two lines a page, one character a line
  const auto lines = LayoutReport("abcde", frame, 20, Pitch10);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[1].page, 0);
  EXPECT_EQ(lines[2].page, 1);
  EXPECT_EQ(lines[2].y, 0);
  EXPECT_EQ(lines[4].page, 2);
}

}  // namespace
}  // namespace qor
