#include "tools/qor_trace/trace_request.h"

#include <gtest/gtest.h>

namespace qor::trace {
namespace {

TEST(ParseTraceArgs, TakesThePidAndOptionsInAnyOrder) {
  TraceRequest request;
  std::string error;
  ASSERT_TRUE(ParseTraceArgs({"--out", "trace.txt", "1234", "--timeout", "5"}, request, error))
      << error;
  EXPECT_EQ(request.pid, 1234u);
  EXPECT_EQ(request.out_file, "trace.txt");
  EXPECT_EQ(request.timeout_ms, 5000u);
  TraceRequest plain;
  ASSERT_TRUE(ParseTraceArgs({"4294967295"}, plain, error));
  EXPECT_EQ(plain.pid, 4294967295u);
  EXPECT_TRUE(plain.out_file.empty());
  EXPECT_EQ(plain.timeout_ms, 30000u);
}

TEST(ParseTraceArgs, RefusesWhatIsNotARequest) {
  const struct {
    std::vector<std::string> args;
    const char* error;
  } cases[] = {
      {{}, "no process id given"},
      {{"--out", "x.txt"}, "no process id given"},
      {{"0"}, "\"0\" is not a process id"},
      {{"12a"}, "\"12a\" is not a process id"},
      {{"4294967296"}, "\"4294967296\" is not a process id"},
      {{"99999999999"}, "\"99999999999\" is not a process id"},
      {{"+12"}, "\"+12\" is not a process id"},
      {{"12", "13"}, "only one process id can be given"},
      {{"12", "--out"}, "--out needs a value"},
      {{"12", "--out", ""}, "--out needs a file name"},
      {{"12", "--timeout", "0"}, "the timeout must be 1 to 3600 seconds"},
      {{"12", "--timeout", "3601"}, "the timeout must be 1 to 3600 seconds"},
      {{"12", "-v"}, "unknown option -v"},
  };
  for (const auto& c : cases) {
    TraceRequest request;
    std::string error;
    EXPECT_FALSE(ParseTraceArgs(c.args, request, error)) << c.error;
    EXPECT_EQ(error, c.error);
  }
}

TEST(ReportFromView, StopsAtTheNulOrTheViewsEnd) {
  const uint8_t terminated[] = {'a', 'b', 0, 'c'};
  EXPECT_EQ(ReportFromView(terminated, sizeof terminated), "ab");
  const uint8_t unterminated[] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(ReportFromView(unterminated, 3), "abc");
  EXPECT_EQ(ReportFromView(terminated + 2, 2), "");
}

}  // namespace
}  // namespace qor::trace
