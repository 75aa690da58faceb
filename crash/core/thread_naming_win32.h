// The handler that takes the program's thread-naming exceptions while the
// registry is joined (Windows only).
#pragma once

namespace qor {

// Installs it as a vectored exception handler, called after any other
// vectored handler and before the frame-based handlers, so a debugger
// still sees the exception first. Systems without vectored handlers (the
// 9x family, Windows 2000 and older) get none.
void InstallNamingHandler();
void RemoveNamingHandler();

// True while the handler is installed, so that raising a naming exception
// cannot end the program.
bool NamingHandlerInstalled();

}  // namespace qor
