// Tracking the threads the program creates (Windows only): the hook on
// CreateThread records where and by whom each thread was created and which
// thread object runs on it, and wraps the thread's routine so that its
// entry goes when the routine returns; the execution wrapper of thread
// objects reports an exception that escapes Execute.
#pragma once

#include <cstdint>

namespace qor {

// Hooks CreateThread in the import tables (see HookImport). False when it
// was hooked already or kernel32's routine cannot be found.
bool HookCreateThread();

// Puts the import tables back.
void UnhookCreateThread();

// Called inside the catch block of an exception that escaped a thread
// object's Execute: the report entry with can-continue 1.
using EscapedExceptionHandler = void (*)();

// Makes every thread object run Execute through the core's wrapper, which
// passes an escaping exception to `handler` and removes the thread's entry
// when Execute is done. Null restores plain execution.
void InstallExecutionWrapper(EscapedExceptionHandler handler);

}  // namespace qor
