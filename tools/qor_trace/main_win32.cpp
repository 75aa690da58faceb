// qor-trace PID [--out FILE] [--timeout SECONDS]
// Prints the report of all threads of a running program that carries the
// crash reporter (or writes it to FILE), without stopping the program: what
// a user runs to see what a hung program is doing. Exit codes: 0 done, 1 a
// failure, 2 bad arguments, 3 no such process, 4 access denied, 5 the
// process exports no qorTraceProcess, 6 no answer in time.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/qor_trace/trace_client_win32.h"

namespace {

using qor::trace::TraceStatus;

int Fail(TraceStatus status, const std::string& message) {
  std::fprintf(stderr, "qor-trace: %s\n", message.c_str());
  return static_cast<int>(status);
}

// The report as the program wrote it, lines ending in CR LF, without the
// C runtime's translation of line ends.
bool Write(std::FILE* file, const std::string& report) {
  return std::fwrite(report.data(), 1, report.size(), file) == report.size() &&
         std::fflush(file) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  qor::trace::TraceRequest request;
  std::string error;
  if (!qor::trace::ParseTraceArgs(std::vector<std::string>(argv + 1, argv + argc), request,
                                  error)) {
    return Fail(TraceStatus::kBadArguments, error + "\n" + qor::trace::TraceUsage());
  }
  const qor::trace::TraceOutcome outcome = qor::trace::RequestTrace(request);
  if (outcome.status != TraceStatus::kOk) return Fail(outcome.status, outcome.message);
  if (request.out_file.empty()) {
    _setmode(_fileno(stdout), _O_BINARY);
    return Write(stdout, outcome.report) ? 0
                                         : Fail(TraceStatus::kFailed, "cannot write the report");
  }
  std::FILE* file = std::fopen(request.out_file.c_str(), "wb");
  if (!file) return Fail(TraceStatus::kFailed, "cannot create " + request.out_file);
  const bool written = Write(file, outcome.report);
  const bool closed = std::fclose(file) == 0;
  return written && closed ? 0 : Fail(TraceStatus::kFailed, "cannot write " + request.out_file);
}
