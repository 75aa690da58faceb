// A failure forced in a test-only build of Uninstall.exe reaches the
// crash-report core with its class, its message and the address of the
// throw.
#include <gtest/gtest.h>

#include <string>

#include "crash/modules/testing/child_output_win32.h"
#include "crash/core/testing/dialog_user_win32.h"

namespace {

TEST(UninstallFailure, AnEventHandlerFailureReachesThePipeline) {
  const qor::test::ChildOutput run =
      qor::test::RunChildProgram("uninstall_failure_win32_test_child.exe", "");
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.exit_code, 7u) << run.text;
  const std::string expected = "class=runtime.EOSError message=forced failure after_call=1 offset=";
  ASSERT_EQ(run.text.rfind(expected, 0), 0u) << run.text;
  // The address is the return address of the throw, a call inside the
  // handler (a short function).
  const long offset = std::stol(run.text.substr(expected.size()));
  EXPECT_GT(offset, 0) << run.text;
  EXPECT_LT(offset, 256) << run.text;
}

TEST(UninstallFailure, TheProgramShowsTheDialogWithTheReportAndCloses) {
  qor::test::User user("uninstall_failure_win32_test_child.exe", "close application");
  const qor::test::ChildOutput run =
      qor::test::RunChildProgram("uninstall_failure_win32_test_child.exe", "dialog");
  EXPECT_EQ(user.Seen(),
            "mail bug report,show bug report,continue application,restart application,"
            "close application,");
  const std::string report = user.Report();
  EXPECT_EQ(report.rfind("date/time", 0), 0u) << report.substr(0, 200);
  EXPECT_NE(report.find("forced failure"), std::string::npos);
  EXPECT_NE(report.find("forced_failure_win32_test_child.cpp"), std::string::npos) << report;
  EXPECT_EQ(run.exit_code, 1u) << run.text;
}

}  // namespace
