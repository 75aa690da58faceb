// The program's one export: an outside tool starts it as a thread inside
// the running program and gets a report of all its threads, as for a
// frozen program, without any failure (Windows only).
#pragma once

#include <cstdint>

// Composes the report. With `max_length` below 1 it goes to the clipboard;
// otherwise into the file mapping "Global\qorTraceProcessMap" (NT family)
// or "qorTraceProcessMap" that the tool created, at most max_length - 1
// characters and a NUL, never past the end of the view. Without a mapping
// nothing is written. The calling thread is left out of the report.
// Always returns 0.
extern "C" uint32_t __stdcall qorTraceProcess(int32_t max_length);

namespace qor {

// The mapping's names, tried in this order (the first on the NT family only).
inline constexpr char kTraceMapGlobalName[] = "Global\\qorTraceProcessMap";
inline constexpr char kTraceMapName[] = "qorTraceProcessMap";

}  // namespace qor
