// The exported process trace, run as a thread inside a program that carries
// the running core (trace_process_win32_test_child), as an outside tool
// starts it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "crash/modules/testing/child_output_win32.h"

namespace {

std::string RunScenario(const std::string& arguments) {
  const qor::test::ChildOutput output =
      qor::test::RunChildProgram("trace_process_win32_test_child.exe", arguments);
  EXPECT_TRUE(output.started);
  EXPECT_EQ(output.exit_code, 0u) << output.text;
  return output.text;
}

bool Has(const std::string& text, const std::string& line) {
  return text.find(line + "\n") != std::string::npos;
}

TEST(TraceProcess, AWholeTraceIsAFrozenReportWithoutTheTracingThread) {
  const std::string text = RunScenario("mapping 1048576");
  EXPECT_TRUE(Has(text, "frozen_line=1 main_first=1 listed=0")) << text;
  EXPECT_NE(text.find("result=0 length="), std::string::npos) << text;
}

TEST(TraceProcess, MaxLengthCutsTheTraceTo99CharactersAndItsNul) {
  // "next" is the byte after the NUL: never written.
  const std::string text = RunScenario("mapping 100");
  EXPECT_TRUE(Has(text, "result=0 length=99 next=$cc")) << text;
}

TEST(TraceProcess, MaxLengthZeroPutsTheTraceOnTheClipboard) {
  const std::string text = RunScenario("clipboard");
  EXPECT_TRUE(Has(text, "result=0 clipboard=1")) << text;
  EXPECT_TRUE(Has(text, "frozen_line=1 main_first=1 listed=0")) << text;
}

TEST(TraceProcess, WithoutAMappingNothingIsWritten) {
  const std::string text = RunScenario("none");
  EXPECT_TRUE(Has(text, "result=0 clipboard_changed=0")) << text;
}

}  // namespace
