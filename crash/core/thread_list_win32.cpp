#include "crash/core/thread_list.h"

#include <windows.h>
#include <tlhelp32.h>

#include "crash/core/system_thread_list.h"
#include "crash/core/win_handle.h"
#include "crash/modules/os_version.h"

namespace qor {
namespace {

constexpr ULONG kSystemProcessInformation = 5;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
constexpr size_t kFirstListSize = 128 * 1024;
constexpr size_t kLargestListSize = 4 * 1024 * 1024;

using QuerySystemInformation = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
using OpenThreadFn = HANDLE(WINAPI*)(DWORD, BOOL, DWORD);

struct ClientId {
  uint32_t process;
  uint32_t thread;
};
struct ObjectAttributes {
  uint32_t length;
  uint32_t fields[5];
};
static_assert(sizeof(ObjectAttributes) == 24);
using NtOpenThreadFn = LONG(WINAPI*)(HANDLE*, ACCESS_MASK, ObjectAttributes*, ClientId*);

template <typename F>
F Lookup(const char* module, const char* name) {
  HMODULE handle = GetModuleHandleA(module);
  return handle ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(handle, name)))
                : nullptr;
}

std::vector<uint32_t> ToolhelpThreads() {
  using Snapshot = HANDLE(WINAPI*)(DWORD, DWORD);
  using Walk = BOOL(WINAPI*)(HANDLE, THREADENTRY32*);
  const auto snapshot = Lookup<Snapshot>("kernel32.dll", "CreateToolhelp32Snapshot");
  const auto first = Lookup<Walk>("kernel32.dll", "Thread32First");
  const auto next = Lookup<Walk>("kernel32.dll", "Thread32Next");
  std::vector<uint32_t> threads;
  if (!snapshot || !first || !next) return threads;
  const OwnedHandle list(snapshot(TH32CS_SNAPTHREAD, 0));
  if (!list) return threads;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  const DWORD process = GetCurrentProcessId();
  for (BOOL more = first(list.get(), &entry); more; more = next(list.get(), &entry)) {
    if (entry.th32OwnerProcessID == process) threads.push_back(entry.th32ThreadID);
    entry.dwSize = sizeof entry;
  }
  return threads;
}

std::vector<uint32_t> SystemListThreads() {
  const auto query = Lookup<QuerySystemInformation>("ntdll.dll", "NtQuerySystemInformation");
  if (!query) return {};
  ULONG needed = 0;
  query(kSystemProcessInformation, nullptr, 0, &needed);
  // The list grows between the two calls; twice the size leaves room.
  size_t size = needed ? size_t{needed} * 2 : kFirstListSize;
  std::vector<uint8_t> list;
  for (;;) {
    list.assign(size, 0);
    const LONG status = query(kSystemProcessInformation, list.data(), static_cast<ULONG>(size),
                              nullptr);
    if (status >= 0) break;
    if (status != kInfoLengthMismatch || size >= kLargestListSize) return {};
    size *= 2;
  }
  const TOS& os = CurrentOs();
  const uint32_t records = os.Major <= 4 ? kThreadRecordsNt4 : kThreadRecords;
  return ThreadsOfProcess(list, GetCurrentProcessId(), records);
}

}  // namespace

std::vector<uint32_t> ListProcessThreads() {
  return CurrentOs().Is9x ? ToolhelpThreads() : SystemListThreads();
}

void* OpenThreadById(uint32_t id, uint32_t access) {
  static const auto open_thread = Lookup<OpenThreadFn>("kernel32.dll", "OpenThread");
  if (open_thread) return open_thread(access, FALSE, id);
  if (CurrentOs().Is9x) return nullptr;
  static const auto nt_open_thread = Lookup<NtOpenThreadFn>("ntdll.dll", "NtOpenThread");
  if (!nt_open_thread) return nullptr;
  HANDLE handle = nullptr;
  ObjectAttributes attributes{sizeof attributes, {}};
  ClientId client{0, id};
  const LONG status = nt_open_thread(&handle, access, &attributes, &client);
  if (status < 0) {
    SetLastError(static_cast<DWORD>(status));
    return nullptr;
  }
  return handle;
}

bool ThreadState(uint32_t id, TThreadState& state) {
  state = TThreadState{};
  const bool current = id == GetCurrentThreadId();
  OwnedHandle thread;
  if (current) {
    HANDLE duplicate = nullptr;
    if (DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &duplicate,
                        0, FALSE, DUPLICATE_SAME_ACCESS)) {
      thread.reset(duplicate);
    }
  } else {
    thread.reset(OpenThreadById(
        id, THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION | THREAD_SUSPEND_RESUME));
    if (!thread) thread.reset(OpenThreadById(id, THREAD_GET_CONTEXT));
  }
  if (!thread) return false;
  CONTEXT context{};
  context.ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER | CONTEXT_SEGMENTS;
  if (!GetThreadContext(thread.get(), &context)) return false;
  MEMORY_BASIC_INFORMATION region;
  if (VirtualQuery(reinterpret_cast<void*>(uintptr_t{context.Esp}), &region, sizeof region) ==
      sizeof region) {
    state.StackBegin = context.Esp;
    state.StackEnd = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(region.BaseAddress)) +
                     static_cast<uint32_t>(region.RegionSize);
    state.Frame = context.Ebp;
    state.Instruction = context.Eip;
  }
  const int priority = GetThreadPriority(thread.get());
  state.Priority = priority == THREAD_PRIORITY_ERROR_RETURN ? 0 : priority;
  if (!current) {
    const DWORD count = SuspendThread(thread.get());
    if (count != static_cast<DWORD>(-1)) {
      ResumeThread(thread.get());
      state.Suspended = count > 0;
    }
  }
  return true;
}

}  // namespace qor
