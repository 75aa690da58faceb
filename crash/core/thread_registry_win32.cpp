#include "crash/core/thread_registry.h"

#include <windows.h>

#include "crash/attach/number_text.h"
#include "crash/core/object_security.h"
#include "crash/core/thread_entries_win32.h"
#include "crash/core/thread_list.h"
#include "crash/core/thread_naming_win32.h"
#include "crash/core/win_handle.h"
#include "crash/debuginfo/debug_info_live.h"

namespace qor {
namespace {

constexpr char kCaption[] = "qorExcept";
constexpr char kSupportAddress[] = "support@varnel.example";
constexpr DWORD kCaptionWait = 50;
constexpr DWORD kEndedThreadAccess = SYNCHRONIZE | THREAD_QUERY_INFORMATION;

// This module's view of the block and what it learned when joining. Plain
// data: valid before any constructor runs and after every destructor.
ThreadNameBlock* block = nullptr;
uint32_t main_thread_id = 0;

void* Pointer(uint32_t address) { return reinterpret_cast<void*>(uintptr_t{address}); }
uint32_t Address(const void* pointer) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer));
}

[[noreturn]] void Fatal(const std::string& text) {
  MessageBoxA(nullptr, text.c_str(), kCaption, MB_OK | MB_ICONERROR | MB_TASKMODAL);
  ExitProcess(0);
}

// A handle to thread `id` that shows when it has ended: a duplicate of
// `handle`, or the thread opened by id.
HANDLE WatchHandle(uint32_t id, HANDLE handle) {
  HANDLE duplicate = nullptr;
  if (handle && DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &duplicate,
                                kEndedThreadAccess, FALSE, 0)) {
    return duplicate;
  }
  return OpenThreadById(id, kEndedThreadAccess);
}

// The block another module made must look like one: a user and a mutex.
bool LooksLikeRegistry(const ThreadNameBlock& shared) {
  return shared.UserCount > 0 && shared.ListMutex != 0;
}

// A thread that ends through the C runtime or ExitThread never returns to
// the thread wrapper; the loader tells every module with thread-local
// storage instead. The wait is short: the loader lock is held here.
void NTAPI ThreadDetached(void*, DWORD reason, void*) {
  ThreadNameBlock* shared = block;
  if (reason != DLL_THREAD_DETACH || shared == nullptr) return;
  const ListLock lock(*shared, kCaptionWait);
  if (lock.held()) {
    const OwnedHandle handle(TakeEntry(*shared, GetCurrentThreadId()).handle);
  }
}

}  // namespace

// Between the C runtime's first and last thread-local-storage callbacks.
extern "C" __attribute__((section(".CRT$XLF"), used))
const PIMAGE_TLS_CALLBACK qor_thread_detach_callback = ThreadDetached;

std::string ThreadRegistryName(uint32_t process_id) {
  return "qorExceptThreadNameBuf" + FormatHex(process_id);
}

namespace {

// Opens this process's block, new or existing, and maps it; ends the
// process when the name belongs to something else or nothing can be mapped.
ThreadNameBlock* MapBlock(OwnObjectSecurity& security, OwnedHandle& mapping, bool& existed) {
  const std::string name = ThreadRegistryName(GetCurrentProcessId());
  SetLastError(ERROR_SUCCESS);
  mapping.reset(CreateFileMappingA(INVALID_HANDLE_VALUE, security.Attributes(), PAGE_READWRITE, 0,
                                   sizeof(ThreadNameBlock), name.c_str()));
  const DWORD error = GetLastError();
  // The name taken by something we cannot open as our block.
  if (!mapping && (error == ERROR_ALREADY_EXISTS || error == ERROR_INVALID_HANDLE ||
                   error == ERROR_ACCESS_DENIED)) {
    Fatal("internal error");
  }
  existed = mapping && error == ERROR_ALREADY_EXISTS;
  void* view = mapping ? MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0,
                                       sizeof(ThreadNameBlock))
                       : nullptr;
  if (view == nullptr) Fatal(std::string("internal error. please notify ") + kSupportAddress);
  return static_cast<ThreadNameBlock*>(view);
}

// Another module made the block: count this one in; the oldest entry is
// the main thread.
void JoinExisting(ThreadNameBlock& shared) {
  if (!LooksLikeRegistry(shared)) {
    UnmapViewOfFile(&shared);
    Fatal("internal error");
  }
  InterlockedIncrement(reinterpret_cast<volatile LONG*>(&shared.UserCount));
  block = &shared;
  const ListLock lock(shared, INFINITE);
  main_thread_id = lock.held() ? OldestEntryThread(shared) : 0;
}

// This module made the block: set it up; the first thread the system lists
// is the main thread.
void SetUpNew(ThreadNameBlock& shared, HANDLE mapping, OwnObjectSecurity& security) {
  shared.UserCount = 1;
  shared.WatchdogMutex = Address(CreateMutexA(security.Attributes(), FALSE, nullptr));
  shared.ListMutex = Address(CreateMutexA(security.Attributes(), FALSE, nullptr));
  shared.ListHead = 0;
  shared.Mapping = Address(mapping);
  block = &shared;
  const std::vector<uint32_t> threads = ListProcessThreads();
  if (threads.empty()) return;
  main_thread_id = threads.front();
  RegisterThreadInfo(main_thread_id, nullptr, "main thread");
}

}  // namespace

void JoinThreadRegistry() {
  if (block) return;
  OwnObjectSecurity security;
  OwnedHandle mapping;
  bool existed = false;
  ThreadNameBlock* shared = MapBlock(security, mapping, existed);
  if (existed) {
    JoinExisting(*shared);  // the handle is closed, the view stays
  } else {
    SetUpNew(*shared, mapping.release(), security);
  }
  if (main_thread_id == 0) main_thread_id = GetCurrentThreadId();
  InstallNamingHandler();
}

void LeaveThreadRegistry() {
  ThreadNameBlock* shared = block;
  if (shared == nullptr) return;
  RemoveNamingHandler();
  if (InterlockedDecrement(reinterpret_cast<volatile LONG*>(&shared->UserCount)) == 0) {
    {
      const ListLock lock(*shared, INFINITE);
      if (lock.held()) RemoveAllEntries(*shared);
    }
    CloseHandle(Pointer(shared->Mapping));
    CloseHandle(Pointer(shared->ListMutex));
    CloseHandle(Pointer(shared->WatchdogMutex));
  }
  block = nullptr;
  main_thread_id = 0;
  UnmapViewOfFile(shared);
}

ThreadNameBlock* ThreadRegistryBlock() { return block; }

uint32_t MainThreadId() { return main_thread_id; }

void RegisterThreadInfo(uint32_t id, void* handle, std::string_view name,
                        uint32_t creator_thread, uint32_t creator_address,
                        std::string_view class_name) {
  ThreadNameBlock* shared = block;
  if (shared == nullptr) return;
  const ListLock lock(*shared, INFINITE);
  if (!lock.held()) return;
  EntryContents old = TakeEntry(*shared, id);
  OwnedHandle kept(old.handle);
  if (kept && ThreadEnded(kept.get())) {
    // The id belonged to a thread that has ended: nothing of it carries over.
    kept.reset();
    old = EntryContents{};
  }
  if (!name.empty() || creator_address != 0) {
    std::string new_name(name), new_class(class_name);
    if (new_name.empty()) new_name = old.name;
    if (old.has_creator) {
      if (new_class.empty()) new_class = old.class_name;
      if (creator_address == 0) creator_address = old.creator_address;
      if (creator_thread == 0) creator_thread = old.creator_thread;
    }
    if (!kept) kept.reset(WatchHandle(id, handle));
    if (kept) {
      PushEntry(*shared, id, new_name, new_class, creator_address, creator_thread,
                kept.release());
    }
  }
  RemoveOneEnded(*shared);
}

TThreadCaption ThreadCaption(uint32_t id, bool force) {
  TThreadCaption caption;
  EntryContents entry;
  if (ThreadNameBlock* shared = block) {
    const ListLock lock(*shared, kCaptionWait);
    if (lock.held()) entry = PeekEntry(*shared, id);
  }
  caption.Caption = ComposeThreadCaption(id, entry.found, entry.name, entry.class_name, force);
  caption.CreatorAddress = entry.creator_address;
  caption.CreatorThread = entry.creator_thread;
  return caption;
}

bool IsOwnTrackedThread(uint32_t id) {
  uint32_t creator = 0;
  if (ThreadNameBlock* shared = block) {
    const ListLock lock(*shared, kCaptionWait);
    if (lock.held()) creator = PeekEntry(*shared, id).creator_address;
  }
  // The debug information may have to be loaded: not under the list mutex.
  return creator != 0 && LiveDebugInfo(creator)->Valid;
}

}  // namespace qor
