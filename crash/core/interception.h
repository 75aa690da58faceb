// Where failures surface and the core takes them over (Windows only): the
// unhandled-exception filter, the C++ runtime's terminate and abort paths,
// the GUI library's exception routines, thread routines and thread
// objects, and the end of the program's own exception handlers.
#pragma once

namespace qor {

// Installs the interception points whose targets the settings name, in
// the order the core documents; RemoveInterception undoes them (the code
// patches go with RestorePatches).
void InstallInterception();
void RemoveInterception();

// Called inside a catch block for an exception that nothing else handles
// and after which the thread goes on (a thread object's Execute, a thread
// routine): reported with can-continue 1.
void ReportEscapedException();

// Where the system offers it, makes the calling thread keep enough stack to
// hand a stack overflow over to the handling thread.
void GuaranteeThreadStack();

}  // namespace qor
