// The process-wide tables of modules and functions that stack traces share:
// a module or function analysed once is never analysed again. Rows only
// grow and keep their indexes, which the items and links of a running trace
// store. There is no lock: only one trace may run at a time in the process.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "crash/debuginfo/map_file.h"
#include "crash/disasm/function_info.h"
#include "crash/stack/stack_context.h"

namespace qor {

struct TModuleEntry {
  uint32_t Handle = 0;    // the module's base address
  std::string FileName;   // without its path
  uint32_t CodeBegin = 0;
  uint32_t CodeEnd = 0;
  uint32_t DataBegin = 0;
  uint32_t DataEnd = 0;
  std::shared_ptr<const TMapFile> DebugInfo;  // null without valid debug information
  // The module's exception tables, read once for all its functions.
  std::shared_ptr<const EhFrameIndex> EhFrames;
};

struct TFunctionEntry {
  int32_t Module = -1;  // module-table index, -1 when unknown
  std::string Name;     // public, export or label name; may be empty
  TFunctionInfo Info;
  bool Approved = false;  // known to exist: debug information, export, or approved caller
  bool Rejected = false;  // proven not to be on the stack; never matches again
};

struct StackTraceTables {
  std::vector<TModuleEntry> Modules;
  std::vector<TFunctionEntry> Functions;
  // Row of each entry point in Functions: a deep stack registers its
  // functions by the hundred thousand, too many for a linear search.
  std::unordered_map<uint32_t, int32_t> FunctionAt;
};

// The tables of the process. Rows are reached by index only: registering
// may move them.
StackTraceTables& Tables();

// Empties both tables (between tests).
void ResetStackTraceTables();

// Index of the module loaded at `base`, registered on first sight; -1 when
// its file name or its PE headers cannot be obtained.
int32_t RegisterModule(const StackTraceContext& context, uint32_t base);

// Index of the function whose entry is `entry`, analysed and registered on
// first sight together with the targets of its leaving jumps. `name` empty
// takes the name from the module's debug information or exports; `module`
// -1 finds the module from the address. With `force_valid`, code that
// cannot be analysed still gives a row of length 0 at `entry`. -1 when the
// function cannot be analysed (or `entry` is 0 without `force_valid`).
int32_t RegisterFunction(const StackTraceContext& context, uint32_t entry, const std::string& name,
                         int32_t module, bool force_valid, bool approved);

// Approves every row at `entry` and, through their leaving jumps, the rows
// they jump to.
void MarkApproved(uint32_t entry);

}  // namespace qor
