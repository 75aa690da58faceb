// The HTML error page and the message it takes from the report.
#include "crash/core/error_page.h"

#include <gtest/gtest.h>

namespace qor {
namespace {

const std::string kReport =
    "date/time         : 2026-12-08, 17:30:00, 123ms\r\n"
    "exception class   : EAccessViolation\r\n"
    "exception message : Disk: full.\r\n"
    "\r\n"
    "main thread ($10):\r\n";

bool Contains(const std::string& text, std::string_view part) {
  return text.find(part) != std::string::npos;
}

size_t Count(const std::string& text, std::string_view part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(ExceptMessageOfReport, TakesTheLineAfterTheFirstColon) {
  EXPECT_EQ(ExceptMessageOfReport(kReport), "Disk: full.");
  EXPECT_EQ(ExceptMessageOfReport("x\r\nexception message :   spaced  "), "spaced");
  EXPECT_EQ(ExceptMessageOfReport("x\r\nexception message no colon\r\n"), "no colon");
  // The line must start a line of its own.
  EXPECT_EQ(ExceptMessageOfReport("exception message : first line\r\n"), "Unknown");
  EXPECT_EQ(ExceptMessageOfReport(""), "Unknown");
}

TEST(ErrorPageHtml, ShowsTheMessageTitleAndReportWithTheDefaults) {
  const TExceptSettings settings;
  const std::string page = ErrorPageHtml(kReport, settings, "shop.dll");
  EXPECT_EQ(page.rfind("<html><head><title>shop.dll</title></head><body>\r\n", 0), 0u);
  EXPECT_TRUE(Contains(page, "margin-left:4px;\">An error occurred in the application.</p>"));
  EXPECT_TRUE(Contains(page, "history.back();\" style=\"height:19.5pt;\">&nbsp;continue "
                             "application&nbsp;</button></td>\r\n"));
  EXPECT_TRUE(Contains(page, "this.style.visibility='hidden';\" style=\"height:19.5pt;\">&nbsp;"
                             "show bug report&nbsp;</button></td>\r\n"));
  EXPECT_TRUE(Contains(page, "height:100%;visibility:hidden;\">\r\n"));
  EXPECT_TRUE(Contains(page, "exception message : Disk: full.\r\n"));
  const std::string end = "</textarea></td></tr></table></body></html>";
  EXPECT_EQ(page.substr(page.size() - end.size()), end);
}

TEST(ErrorPageHtml, MessageTakesTheReportsMessageAndHtmlLineBreaks) {
  TExceptSettings settings;
  settings.ErrorMessage = "Failed: %exceptMsg%%LF%Sorry %appname%.";
  const std::string page = ErrorPageHtml(kReport, settings, "shop.dll");
  EXPECT_TRUE(Contains(page, ">Failed: Disk: full.<br>\r\nSorry %appname%.</p>"));
}

TEST(ErrorPageHtml, EmptyContinueCaptionReadsContinueApplication) {
  TExceptSettings settings;
  settings.ButtonCaptions[4] = "";
  EXPECT_TRUE(Contains(ErrorPageHtml(kReport, settings, "a.exe"),
                       ">&nbsp;continue application&nbsp;</button>"));
  settings.ButtonCaptions[4] = "back";
  EXPECT_TRUE(Contains(ErrorPageHtml(kReport, settings, "a.exe"), ">&nbsp;back&nbsp;</button>"));
}

TEST(ErrorPageHtml, DetailsAtStartShowTheBoxWithoutAShowButton) {
  TExceptSettings settings;
  settings.ShowDetailsAtStart = true;
  const std::string page = ErrorPageHtml(kReport, settings, "a.exe");
  EXPECT_FALSE(Contains(page, "getElementById"));
  EXPECT_FALSE(Contains(page, "visibility:hidden;"));
  EXPECT_TRUE(Contains(page, "<td>&nbsp;</td>\r\n"));
  EXPECT_TRUE(Contains(page, "height:100%;\">\r\n"));
  // An empty show caption: no button either, but the box stays hidden.
  settings.ShowDetailsAtStart = false;
  settings.ButtonCaptions[3] = "";
  const std::string hidden = ErrorPageHtml(kReport, settings, "a.exe");
  EXPECT_FALSE(Contains(hidden, "getElementById"));
  EXPECT_TRUE(Contains(hidden, "visibility:hidden;"));
}

// A report, message, title or caption that holds markup must reach the
// browser as text: the page keeps exactly one text box, one script-free
// body and its own buttons.
TEST(ErrorPageHtml, EscapesEverythingItDidNotWriteItself) {
  const std::string hostile =
      "x\r\nexception message : <script>alert('m')</script></textarea>&amp;\r\n"
      "</textarea><script>alert(\"r\")</script>";
  TExceptSettings settings;
  settings.ErrorMessage = "%exceptMsg%";
  settings.TitleText = "</title><b>%appname%";
  settings.ButtonCaptions[4] = "<i>go</i>";
  settings.ButtonCaptions[3] = "\"'><a>";
  const std::string page = ErrorPageHtml(hostile, settings, "<x>.exe");
  EXPECT_FALSE(Contains(page, "<script"));
  EXPECT_FALSE(Contains(page, "<i>"));
  EXPECT_FALSE(Contains(page, "<a>"));
  EXPECT_FALSE(Contains(page, "<b>"));
  EXPECT_EQ(Count(page, "</textarea>"), 1u);
  EXPECT_EQ(Count(page, "</title>"), 1u);
  EXPECT_TRUE(Contains(page, "<title>&lt;/title&gt;&lt;b&gt;&lt;x&gt;.exe</title>"));
  EXPECT_TRUE(Contains(page, ">&lt;script&gt;alert(&#39;m&#39;)&lt;/script&gt;&lt;/textarea&gt;"
                             "&amp;amp;</p>"));
  EXPECT_TRUE(Contains(page, "&lt;/textarea&gt;&lt;script&gt;alert(&quot;r&quot;)&lt;/script&gt;"
                             "</textarea>"));
  EXPECT_TRUE(Contains(page, ">&nbsp;&lt;i&gt;go&lt;/i&gt;&nbsp;</button>"));
  EXPECT_TRUE(Contains(page, ">&nbsp;&quot;&#39;&gt;&lt;a&gt;&nbsp;</button>"));
}

TEST(ErrorPageHtml, ShowButtonStaysWithin255CharactersWithoutCuttingAReference) {
  TExceptSettings settings;
  settings.ButtonCaptions[3] = "<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<";  // 30 × "&lt;"
  const std::string page = ErrorPageHtml(kReport, settings, "a.exe");
  const size_t start = page.find("<button onClick=\"document");
  const size_t end = page.find("</button>", start) + 9;
  ASSERT_NE(start, std::string::npos);
  EXPECT_LE(end - start, 255u);
  EXPECT_GT(end - start, 250u);
  EXPECT_TRUE(Contains(page, "&lt;&nbsp;</button>"));
}

TEST(CgiErrorResponse, FailsWithStatus500AndHtml) {
  EXPECT_EQ(CgiErrorResponse("<html/>"),
            "Status: 500 Internal Server Error\r\nContent-Type: text/html\r\n\r\n<html/>");
}

}  // namespace
}  // namespace qor
