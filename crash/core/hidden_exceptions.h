// The hidden-exception hook: tells the hidden-exception handlers about
// exceptions that the program's own code caught and disposed of, unless
// they were reported already (Windows only; the program links with
// --wrap=__cxa_end_catch, which the core's library target adds).
#pragma once

namespace qor {

// Start-up turns it on, shut-down off.
void EnableHiddenExceptionHook(bool on);

}  // namespace qor
