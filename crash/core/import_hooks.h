// Hooks on imported routines: the entries of the modules' import address
// tables that lead to a routine are replaced with another routine, and put
// back later (Windows only). Nothing here is recorded in the patch list;
// UnhookImport is the undo.
#pragma once

#include <cstdint>

namespace qor {

// Replaces every entry of `module`'s import address tables that holds
// `real` with `replacement`. False when the module has no import table, or
// an invalid one (a table beyond the import directory), which is left
// alone; when that module holds the core and a debugger is attached, a
// message box says the thread hooks cannot be installed.
bool ReplaceImports(uint32_t module, uint32_t real, uint32_t replacement);

// Hooks routine `routine` of library `library` (already loaded): `real`
// receives its address from the library's export table, and the import
// tables that lead to it lead to `replacement` instead: every module's
// when the core lives in the executable (on the 9x family only modules
// below 2 GB, the ones above being shared by all processes), only the core
// library's own when it lives in a library. `own_thunk`, when not 0, is
// the core's own import thunk of the routine; when it is an indirect jump
// (0xFF 0x25) whose pointer still leads to the routine, the pointer is
// rewritten too. False, with nothing changed, when `real` is already set
// or the routine cannot be found.
bool HookImport(const char* library, const char* routine, uint32_t own_thunk,
                uint32_t replacement, uint32_t& real);

// Undoes HookImport: the same walk with `replacement` and `real`
// exchanged; then `real` is 0 again. Nothing happens when it is 0.
void UnhookImport(uint32_t own_thunk, uint32_t replacement, uint32_t& real);

}  // namespace qor
