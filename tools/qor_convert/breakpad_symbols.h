// Symbol files in the text format of the existing crash servers' processors:
// a MODULE line naming the debug file and debug id, FILE, FUNC, INLINE and
// line records from the compact debug information, PUBLIC records for
// functions without lines, and STACK CFI records from the call-frame
// information.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "crash/debuginfo/compact_writer.h"
#include "tools/qor_convert/eh_frame.h"

namespace qor::convert {

struct SymbolModule {
  std::string debug_file;  // without a path, "Uninstall.pdb"
  std::string debug_id;    // "D459B09ED12EAC213AB365CF49FA1AA41"
  uint32_t code_base = 0;  // RVA the compact addresses count from
  uint32_t code_end = 0;   // RVA after the last code section
};

// The whole symbol file. A function (a compact public) gets a FUNC record
// with its line records when at least one line lies in it, else a PUBLIC
// record; it ends where the next one starts or at `code_end`. A line record
// runs to the next line or the function's end, in the file of the unit
// that holds it; in inlined code it gives the innermost function's place
// instead, and INLINE records (with an INLINE_ORIGIN per inlined function)
// name each inlined call around it with its call site. An FDE gives STACK CFI INIT with its first row's rules and
// a STACK CFI record for each later row that changes rules; an FDE whose
// rules cannot be written is left out.
std::string WriteBreakpadSymbols(const SymbolModule& module, const CompactTables& tables,
                                 const std::vector<CfiFunction>& frames);

// One row's rules in the records' postfix form, ".cfa: $esp 4 + .ra: .cfa -4 + ^",
// with only the rules that differ from `previous` (all when null). Nothing
// when a rule has no postfix form (an operation without one, a return
// address that cannot be found).
std::optional<std::string> CfiRuleText(const CfiState& state, const CfiState* previous,
                                       uint32_t return_register);

// Where the symbol file goes in a symbol store:
// "<debug file>/<debug id>/<debug file without .pdb>.sym".
std::string SymbolStorePath(const SymbolModule& module);

}  // namespace qor::convert
