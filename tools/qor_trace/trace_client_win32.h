// Asking a running program for the report of all its threads (Windows
// only). The program exports qorTraceProcess, a thread routine that writes
// the report into the file mapping "Global\qorTraceProcessMap" (or
// "qorTraceProcessMap") when one exists, cut to the length it is given.
// The client creates that mapping, runs the routine as a thread inside the
// program, waits for it and reads the report; the program goes on running.
#pragma once

#include <string>

#include "tools/qor_trace/trace_request.h"

namespace qor::trace {

struct TraceOutcome {
  TraceStatus status = TraceStatus::kFailed;
  std::string report;   // with kOk
  std::string message;  // otherwise: what went wrong, for the user
};

// Traces process `request.pid` with a view of `request.view_size` bytes
// (the max length the routine gets), waiting `request.timeout_ms` for
// another client to finish and as long again for the report. Clients are
// serialised by a named mutex, so two at once never share the mapping.
TraceOutcome RequestTrace(const TraceRequest& request);

}  // namespace qor::trace
