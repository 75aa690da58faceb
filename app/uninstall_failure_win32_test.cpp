// A failure forced in a test-only build of Uninstall.exe reaches the
// crash-report core with its class, its message and the address of the
// throw.
#include <gtest/gtest.h>

#include <string>

#include "crash/core/testing/child_output_win32.h"

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

}  // namespace
