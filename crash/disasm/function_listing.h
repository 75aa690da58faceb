// The disassembly listing of one function for the bug report: labels,
// tables and instruction lines composed from the function's code areas.
#pragma once

#include <cstdint>
#include <string>

#include "crash/disasm/disasm_text.h"
#include "crash/disasm/function_info.h"
#include "crash/modules/memory_reader.h"

namespace qor {

// Options of one listing. `limit` <= 0 means no line limit.
struct ListingOptions {
  uint32_t mark = 0;    // the instruction line at this address gets ">"
  bool labels = true;   // labels of jump targets, blank lines and separators
  int32_t limit = 0;    // lines kept before and after the marked line
};

// Text shown when the areas cannot be put in address order.
inline constexpr const char kListingInternalError[] =
    "Internal error in ParseFunction while composing the disassembling string...  :-(";

// Analyses the function at `start` with `routines` into `info` and writes
// its listing to `text` (lines joined by CR LF). False, with `text` empty,
// when the analysis found the function invalid. `context` may be null.
bool FunctionListing(const MemoryReader& memory, const SpecialRoutines& routines, uint32_t start,
                     std::string& text, TFunctionInfo& info, const ListingOptions& options,
                     const TextContext* context = nullptr);

// The report core's hook for the listing of the function that raised: it
// passes its two disassembly settings as `labels` and `limit`. Null until
// the listing is installed at start-up.
using DisassemblerHook = bool (*)(uint32_t start, std::string& text, uint32_t mark,
                                  TFunctionInfo& info, bool labels, int32_t limit);
extern DisassemblerHook disassembler_hook;

}  // namespace qor
