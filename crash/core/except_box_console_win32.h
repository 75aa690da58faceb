// The exception dialog's text for console programs (Windows only).
#pragma once

#include "crash/core/except_box.h"

namespace qor {

// Whether the executable was linked for the console subsystem.
bool IsConsoleProgram();

// The message, then (when the report could be shown) an empty line and
// the report, written to standard output.
void WriteConsoleReport(const ExceptBoxRequest& request);

}  // namespace qor
