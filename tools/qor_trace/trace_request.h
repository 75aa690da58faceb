// What the trace client is asked to do and how it ends: the command line
// "qor-trace PID [--out FILE] [--timeout SECONDS]", the outcomes with their
// exit codes, and the report as the traced program leaves it in the shared
// view. Portable, so the host tests it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qor::trace {

// The exit code of qor-trace for each outcome.
enum class TraceStatus {
  kOk = 0,
  kFailed = 1,  // a system call failed, or the program made no report
  kBadArguments = 2,
  kNoProcess = 3,  // no such process, or it has ended
  kAccessDenied = 4,
  kNoExport = 5,  // the process does not export qorTraceProcess
  kTimeout = 6,   // the process did not answer in time
};

struct TraceRequest {
  uint32_t pid = 0;
  std::string out_file;          // empty: print the report
  uint32_t timeout_ms = 30000;   // for the report, and for another client to finish
  uint32_t view_size = 4 << 20;  // bytes of the shared view; the report's max length
};

// Reads the arguments after the program's name. False, with `error` saying
// what is wrong, for a missing, zero or non-decimal PID, an unknown option,
// an option without its value, a timeout outside 1..3600 seconds, or a
// second PID.
bool ParseTraceArgs(const std::vector<std::string>& args, TraceRequest& request,
                    std::string& error);

// The usage line printed with an argument error.
const char* TraceUsage();

// The report in a view of `size` bytes: up to its terminating NUL, and
// never past the view's end when the NUL is missing.
std::string ReportFromView(const uint8_t* view, size_t size);

}  // namespace qor::trace
