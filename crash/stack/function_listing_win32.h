// Installing the function listing of the current process into the report
// core's disassembler hook (Windows only).
#pragma once

namespace qor {

// Called once at start-up, before any report can be composed.
void InstallFunctionListing();

}  // namespace qor
