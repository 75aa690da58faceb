// qor-trace against a running Uninstall.exe under Wine: the report of all
// its threads, as for a frozen program, while the program goes on answering
// its window. Also prints how long a trace takes, from the client's start
// to its printed report (median of ten).
//   uninstall_trace_test <Uninstall.exe> <qor-trace.exe>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "crash/modules/testing/child_output_win32.h"
#include "crash/core/testing/frozen_report.h"
#include "tests/e2e/e2e_support_win32.h"

namespace {

using namespace e2e;

std::string g_trace_exe;

constexpr char kFrozenMessage[] = "The application seems to be frozen.";

struct Trace {
  qor::test::ChildOutput output;
  double seconds = 0;
};

Trace RunTrace(DWORD pid) {
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  Trace trace;
  trace.output = qor::test::RunCommandLine("\"" + WindowsPath(g_trace_exe) + "\" " +
                                           std::to_string(pid));
  QueryPerformanceCounter(&end);
  trace.seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
  return trace;
}

bool Answers(HWND form) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutA(form, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &result) != 0;
}

TEST(UninstallTrace, TheClientPrintsAFrozenReportAndTheProgramGoesOn) {
  UninstallProgram program;
  HWND form = program.Launch();
  ASSERT_NE(form, nullptr);
  DWORD pid = 0;
  const DWORD main_thread = GetWindowThreadProcessId(form, &pid);
  std::vector<double> seconds;
  for (int run = 0; run < 10; ++run) {
    const Trace trace = RunTrace(pid);
    ASSERT_TRUE(trace.output.started) << g_trace_exe;
    ASSERT_EQ(trace.output.exit_code, 0u) << trace.output.text;
    const std::string& report = trace.output.text;
    EXPECT_EQ(report.rfind("date/time", 0), 0u) << report;
    EXPECT_NE(report.find("\r\nexecutable        : "), std::string::npos) << report;
    EXPECT_NE(report.find("\r\nmodules:"), std::string::npos) << report;
    EXPECT_EQ(qor::test::DescribeFrozenReport(report, main_thread, 0, kFrozenMessage),
              "frozen_line=1 main_first=1 listed=0")
        << report;
    EXPECT_TRUE(Answers(form)) << "after trace " << run;
    seconds.push_back(trace.seconds);
  }
  EXPECT_EQ(program.WaitForExit(0), ~0u) << "the program ended";
  std::sort(seconds.begin(), seconds.end());
  std::printf("qor-trace on Uninstall.exe: median %.3f s of 10 (%.3f .. %.3f)\n",
              (seconds[4] + seconds[5]) / 2, seconds.front(), seconds.back());
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: uninstall_trace_test <Uninstall.exe> <qor-trace.exe>\n");
    return 2;
  }
  e2e::g_uninstall_exe = argv[1];
  g_trace_exe = argv[2];
  return RUN_ALL_TESTS();
}
