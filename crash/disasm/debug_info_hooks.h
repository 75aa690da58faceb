// Connects the decoder's procedure-name and line hooks to the debug
// information of the running process (Windows).
#pragma once

namespace qor {

// Start-up: fills the decoder's procedure-name and line hooks with
// LiveProcedureName and LiveLineAt. Shut-down: empties them again and drops
// the debug-information cache.
void InstallDebugInfoHooks();
void RemoveDebugInfoHooks();

}  // namespace qor
