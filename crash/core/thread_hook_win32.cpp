#include "crash/core/thread_hook.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <typeinfo>

#include "crash/core/class_name.h"
#include "crash/core/import_hooks.h"
#include "crash/core/interception.h"
#include "crash/core/thread_registry.h"
#include "crash/modules/live_exports.h"
#include "runtime/thread.h"

// The import library's thunk for CreateThread (an indirect jump through
// this module's import table).
extern "C" void CreateThreadImportThunk() __asm__("_CreateThread@24");

namespace qor {
namespace {

using CreateThreadFn = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE,
                                       LPVOID, DWORD, LPDWORD);

// What the thread wrapper gets instead of the caller's routine.
struct ThreadStart {
  LPTHREAD_START_ROUTINE routine;
  LPVOID parameter;
};
static_assert(sizeof(ThreadStart) == 8);

// The hook's record of the real routine (0 while unhooked), and what the
// replacement calls: set before the first hook and never cleared, so that
// a call that entered the replacement just before the hook was removed
// still reaches the system.
uint32_t real_create_thread = 0;
std::atomic<uint32_t> create_thread_target{0};
EscapedExceptionHandler escaped_exception_handler = nullptr;

uint32_t Address(const void* pointer) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer));
}

uint32_t ImportThunk() { return Address(reinterpret_cast<const void*>(&CreateThreadImportThunk)); }

// Inside a catch block: hands the exception to the report entry.
void PassEscapedException() {
  if (EscapedExceptionHandler handler = escaped_exception_handler) {
    try {
      handler();
    } catch (...) {
      // The report entry never throws; nothing may unwind into the system.
    }
  }
}

// A C++ exception cannot unwind into the system's thread start: one that
// escapes the routine is reported like one escaping a thread object's
// Execute, and the thread ends.
DWORD WINAPI ThreadWrapper(LPVOID parameter) {
  const ThreadStart start = *static_cast<ThreadStart*>(parameter);
  delete static_cast<ThreadStart*>(parameter);
  GuaranteeThreadStack();
  DWORD result = 0;
  try {
    result = start.routine(start.parameter);
  } catch (...) {
    PassEscapedException();
  }
  UnregisterThread(GetCurrentThreadId());
  return result;
}

// Replaces CreateThread in the import tables.
HANDLE WINAPI CreateThreadHook(LPSECURITY_ATTRIBUTES security, SIZE_T stack_size,
                               LPTHREAD_START_ROUTINE routine, LPVOID parameter, DWORD flags,
                               LPDWORD thread_id) {
  const auto create = reinterpret_cast<CreateThreadFn>(uintptr_t{create_thread_target});
  if (routine == nullptr) return create(security, stack_size, routine, parameter, flags, thread_id);
  uint32_t creator = Address(__builtin_return_address(0));
  std::string class_name;
  if (routine == &runtime::TThread::ThreadRoutine && parameter != nullptr) {
    // A thread object: created where Start was called, of the object's class.
    const auto* thread = static_cast<const runtime::TThread*>(parameter);
    creator = thread->CreatorAddress();
    class_name = ClassName(typeid(*thread));
  }
  auto start = std::make_unique<ThreadStart>(ThreadStart{routine, parameter});
  DWORD id = 0;
  const HANDLE handle = create(security, stack_size, ThreadWrapper, start.get(), flags, &id);
  if (handle == nullptr) return nullptr;
  start.release();  // the new thread frees it
  if (thread_id) *thread_id = id;
  const DWORD error = GetLastError();
  RegisterThreadInfo(id, handle, {}, GetCurrentThreadId(), creator, class_name);
  SetLastError(error);
  return handle;
}

void ExecutionWrapper(runtime::TThread& thread) {
  try {
    thread.RunExecute();
  } catch (...) {
    PassEscapedException();
  }
  UnregisterThread(GetCurrentThreadId());
}

}  // namespace

bool HookCreateThread() {
  const uint32_t kernel32 = Address(GetModuleHandleA("kernel32.dll"));
  if (create_thread_target == 0 && kernel32 != 0) {
    create_thread_target = LiveExportAddressByName(kernel32, "CreateThread");
  }
  if (create_thread_target == 0) return false;
  return HookImport("kernel32.dll", "CreateThread", ImportThunk(),
                    Address(reinterpret_cast<const void*>(&CreateThreadHook)), real_create_thread);
}

void UnhookCreateThread() {
  UnhookImport(ImportThunk(), Address(reinterpret_cast<const void*>(&CreateThreadHook)),
               real_create_thread);
}

void InstallExecutionWrapper(EscapedExceptionHandler handler) {
  escaped_exception_handler = handler;
  runtime::execute_wrapper = handler ? ExecutionWrapper : nullptr;
}

}  // namespace qor
