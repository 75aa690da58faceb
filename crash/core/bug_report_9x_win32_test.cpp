// The report on the 9x family: a child program composes it in Wine's win98
// version mode.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "crash/modules/testing/win98_mode_win32.h"

namespace qor {
namespace {

constexpr char kChild[] = "bug_report_9x_win32_test_child.exe";

TEST(BugReport9x, HeaderWithSystemResourcesAndEverySection) {
  if (!test::UnderWine()) GTEST_SKIP() << "the version mode is a setting of Wine";
  test::Win98Mode mode(kChild);
  ASSERT_TRUE(mode.set());
  const std::string report = test::RunChild(kChild);
  ASSERT_FALSE(report.empty()) << "child did not run";
  std::printf("%s\n", report.substr(0, report.find("modules:")).c_str());
  EXPECT_TRUE(std::regex_search(report, std::regex("\r\noperating system  : Windows 98[^\r]*build 2222\r\n")));
  EXPECT_TRUE(std::regex_search(report, std::regex("\r\nprogram up time   : [0-9]+ milliseconds\r\n")))
      << "from the process's creation";
  // Wine 8's win98 mode answers 0 for both percentages; Windows 98 a share.
  EXPECT_TRUE(std::regex_search(report, std::regex("\r\nsystem resources  : [0-9]{2,3}/[0-9]{2,3} \\(gdi/user\\)\r\n")));
  EXPECT_TRUE(std::regex_search(report, std::regex("\r\nfree disk space   : \\(C:\\) [0-9]")));
  EXPECT_TRUE(std::regex_search(report, std::regex("\r\nexception message : The application seems to be frozen\\.\r\n\r\nmain thread \\(\\$[0-9a-f]+\\):\r\n[0-9a-f]{8} ")));
  EXPECT_NE(report.find("\r\n\r\nmodules:\r\n"), std::string::npos);
  EXPECT_NE(report.find("\r\n\r\nhardware:"), std::string::npos);
  EXPECT_EQ(report.find("internal error"), std::string::npos);
  EXPECT_EQ(report.find("An exception occurred"), std::string::npos);
}

}  // namespace
}  // namespace qor
