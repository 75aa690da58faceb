// Installing the function listing of the current process into the report
// core's disassembler hook (Windows only).
#pragma once

#include "crash/disasm/function_info.h"

namespace qor {

// This program's own routines that never return (the raise routine, the
// termination routines), for analysing functions of the program itself and
// of modules without debug information.
const SpecialRoutines& OwnRoutines();

// Called once at start-up, before any report can be composed.
void InstallFunctionListing();

}  // namespace qor
