#include "tools/qor_trace/trace_request.h"

#include <cstring>

namespace qor::trace {
namespace {

// A decimal number from 1 to `limit`; false for anything else.
bool ReadNumber(const std::string& text, uint32_t limit, uint32_t& value) {
  if (text.empty() || text.size() > 10) return false;
  uint64_t number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + static_cast<uint64_t>(c - '0');
  }
  if (number == 0 || number > limit) return false;
  value = static_cast<uint32_t>(number);
  return true;
}

}  // namespace

bool ParseTraceArgs(const std::vector<std::string>& args, TraceRequest& request,
                    std::string& error) {
  bool have_pid = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--out" || arg == "--timeout") {
      if (i + 1 >= args.size()) return error = arg + " needs a value", false;
      const std::string& value = args[++i];
      if (arg == "--out") {
        if (value.empty()) return error = "--out needs a file name", false;
        request.out_file = value;
        continue;
      }
      uint32_t seconds = 0;
      if (!ReadNumber(value, 3600, seconds))
        return error = "the timeout must be 1 to 3600 seconds", false;
      request.timeout_ms = seconds * 1000;
    } else if (arg.rfind("-", 0) == 0) {
      return error = "unknown option " + arg, false;
    } else if (have_pid) {
      return error = "only one process id can be given", false;
    } else if (!ReadNumber(arg, UINT32_MAX, request.pid)) {
      return error = "\"" + arg + "\" is not a process id", false;
    } else {
      have_pid = true;
    }
  }
  if (!have_pid) return error = "no process id given", false;
  return true;
}

const char* TraceUsage() {
  return "usage: qor-trace PID [--out FILE] [--timeout SECONDS]";
}

std::string ReportFromView(const uint8_t* view, size_t size) {
  const char* text = reinterpret_cast<const char*>(view);
  return std::string(text, strnlen(text, size));
}

}  // namespace qor::trace
