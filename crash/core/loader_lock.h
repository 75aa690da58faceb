// Whether the calling thread may wait for another thread (Windows only).
#pragma once

namespace qor {

// True when the calling thread owns the process's loader lock or its fast
// environment-block lock: waiting for another thread, creating a window or
// loading a library could then deadlock. Only the owner matters; a lock
// that another thread holds will be released. False on the 9x family,
// whose loader lock is no critical section of the environment block.
bool CurrentThreadOwnsLoaderLock();

}  // namespace qor
