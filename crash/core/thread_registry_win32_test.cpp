#include "crash/core/thread_registry.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <winternl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "crash/attach/number_text.h"
#include "crash/core/testing/core_test_dll.h"
#include "crash/core/testing/waiting_thread_win32.h"
#include "crash/core/win_handle.h"

namespace qor {
namespace {

using test::WaitingThread;

uint32_t Address(const void* pointer) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer));
}

std::string Caption(uint32_t id, bool force = false) { return ThreadCaption(id, force).Caption; }

std::string Named(const std::string& name, uint32_t id) { return name + " (" + FormatHex(id) + ")"; }

std::string Unnamed(uint32_t id) { return "thread " + FormatHex(id); }

void RaiseNaming(uint32_t name, uint32_t thread) {
  const ULONG_PTR parameters[4] = {0x1000, name, thread, 0};
  RaiseException(kThreadNamingException, 0, 4, parameters);
}

// Bytes of the process heap in use (the local heap that holds the entries).
size_t HeapInUse() {
  const HANDLE heap = GetProcessHeap();
  HeapLock(heap);
  PROCESS_HEAP_ENTRY entry{};
  size_t used = 0;
  while (HeapWalk(heap, &entry)) {
    if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) used += entry.cbData;
  }
  HeapUnlock(heap);
  return used;
}

// Handles this process holds, from the system's handle list (Wine's
// GetProcessHandleCount answers 0).
size_t HandleCount() {
  struct Entry {
    ULONG process;
    BYTE type, flags;
    USHORT value;
    void* object;
    ACCESS_MASK access;
  };
  constexpr SYSTEM_INFORMATION_CLASS kSystemHandleInformation = SYSTEM_INFORMATION_CLASS(16);
  std::vector<BYTE> list(1 << 16);
  ULONG needed = 0;
  LONG status;
  while ((status = NtQuerySystemInformation(kSystemHandleInformation, list.data(),
                                            static_cast<ULONG>(list.size()), &needed)) ==
         static_cast<LONG>(0xC0000004)) {
    list.resize(list.size() * 2);
  }
  if (status < 0) return 0;
  const ULONG count = *reinterpret_cast<const ULONG*>(list.data());
  const auto* entries = reinterpret_cast<const Entry*>(list.data() + sizeof(ULONG));
  size_t own = 0;
  for (ULONG i = 0; i < count; ++i) own += entries[i].process == GetCurrentProcessId();
  return own;
}

// The SIDs of the access-allowed entries of `object`'s DACL, as text.
std::vector<std::string> AllowedSids(HANDLE object) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  std::vector<std::string> sids;
  if (GetSecurityInfo(object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                      &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return sids;
  }
  ACL_SIZE_INFORMATION size{};
  if (dacl && GetAclInformation(dacl, &size, sizeof size, AclSizeInformation)) {
    for (DWORD i = 0; i < size.AceCount; ++i) {
      void* ace = nullptr;
      char* text = nullptr;
      if (!GetAce(dacl, i, &ace) ||
          static_cast<ACE_HEADER*>(ace)->AceType != ACCESS_ALLOWED_ACE_TYPE ||
          !ConvertSidToStringSidA(&static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart, &text)) {
        sids.push_back("?");
        continue;
      }
      sids.push_back(text);
      LocalFree(text);
    }
  }
  LocalFree(descriptor);
  return sids;
}

std::string CurrentUserSid() {
  HANDLE token = nullptr;
  OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
  const OwnedHandle owned(token);
  BYTE buffer[256];
  DWORD size = 0;
  char* text = nullptr;
  if (!GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) ||
      !ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) {
    return {};
  }
  const std::string sid = text;
  LocalFree(text);
  return sid;
}

class ThreadRegistry : public testing::Test {
 protected:
  void SetUp() override {
    JoinThreadRegistry();
    ASSERT_NE(ThreadRegistryBlock(), nullptr);
  }
  void TearDown() override {
    LeaveThreadRegistry();
    EXPECT_EQ(ThreadRegistryBlock(), nullptr);
  }
};

TEST_F(ThreadRegistry, JoiningCreatesTheBlockAndNamesTheMainThread) {
  const ThreadNameBlock& block = *ThreadRegistryBlock();
  EXPECT_EQ(block.UserCount, 1u);
  EXPECT_NE(block.ListMutex, 0u);
  EXPECT_NE(block.WatchdogMutex, 0u);
  const OwnedHandle mapping(OpenFileMappingA(
      FILE_MAP_READ, FALSE, ThreadRegistryName(GetCurrentProcessId()).c_str()));
  EXPECT_TRUE(mapping);
  EXPECT_EQ(ThreadRegistryName(0x1a4), "qorExceptThreadNameBuf$1a4");
  // The tests run on the program's main thread.
  EXPECT_EQ(MainThreadId(), GetCurrentThreadId());
  EXPECT_EQ(Caption(GetCurrentThreadId()), Named("main thread", GetCurrentThreadId()));
  JoinThreadRegistry();
  EXPECT_EQ(block.UserCount, 1u) << "joining twice counts once";
}

TEST_F(ThreadRegistry, OnlyTheUserAndTheSystemMayOpenTheBlockAndItsMutexes) {
  const ThreadNameBlock& block = *ThreadRegistryBlock();
  const std::vector<std::string> expected = {CurrentUserSid(), "S-1-5-18"};
  ASSERT_FALSE(expected[0].empty());
  for (uint32_t object : {block.Mapping, block.ListMutex, block.WatchdogMutex}) {
    EXPECT_EQ(AllowedSids(reinterpret_cast<HANDLE>(uintptr_t{object})), expected);
  }
}

TEST_F(ThreadRegistry, ASecondModuleJoinsTheSameBlockAndSeesTheSameNames) {
  const WaitingThread worker;
  SetThreadDisplayName(worker.id(), "scanner");
  CoreDllJoin();
  EXPECT_EQ(ThreadRegistryBlock()->UserCount, 2u);
  EXPECT_NE(CoreDllBlock(), ThreadRegistryBlock()) << "a view of its own";
  EXPECT_EQ(CoreDllMainThread(), MainThreadId());
  char text[100];
  CoreDllCaption(worker.id(), text, sizeof text);
  EXPECT_EQ(std::string(text), Named("scanner", worker.id()));
  CoreDllSetName(worker.id(), "renamed by the library");
  EXPECT_EQ(Caption(worker.id()), Named("renamed by the library", worker.id()));
  CoreDllLeave();
  EXPECT_EQ(ThreadRegistryBlock()->UserCount, 1u);
  EXPECT_EQ(Caption(worker.id()), Named("renamed by the library", worker.id()));
  UnregisterThread(worker.id());
}

TEST_F(ThreadRegistry, CaptionsOfNamedUnnamedHiddenAndClassThreads) {
  const WaitingThread named, unnamed, hidden, object;
  SetThreadDisplayName(named.id(), "pump");
  SetThreadDisplayName(hidden.id(), "-");
  const uint32_t creator = 0x00401234;
  RegisterThreadInfo(object.id(), object.handle(), {}, GetCurrentThreadId(), creator,
                     "app.TScanner");
  EXPECT_EQ(Caption(named.id()), Named("pump", named.id()));
  EXPECT_EQ(Caption(unnamed.id()), Unnamed(unnamed.id()));
  EXPECT_EQ(Caption(hidden.id()), "");
  EXPECT_EQ(Caption(hidden.id(), true), Unnamed(hidden.id()));
  const TThreadCaption caption = ThreadCaption(object.id(), false);
  EXPECT_EQ(caption.Caption, Unnamed(object.id()) + " (app.TScanner)");
  EXPECT_EQ(caption.CreatorAddress, creator);
  EXPECT_EQ(caption.CreatorThread, GetCurrentThreadId());

  // A later name keeps what the thread's creation recorded.
  SetThreadDisplayName(object.id(), "scanner");
  EXPECT_EQ(Caption(object.id()), Named("scanner", object.id()));
  EXPECT_EQ(ThreadCaption(object.id(), false).CreatorAddress, creator);
  // A name alone does not give a thread a creator.
  EXPECT_EQ(ThreadCaption(named.id(), false).CreatorAddress, 0u);

  for (uint32_t id : {named.id(), hidden.id(), object.id()}) UnregisterThread(id);
  EXPECT_EQ(Caption(object.id()), Unnamed(object.id()));
  EXPECT_EQ(ThreadCaption(object.id(), false).CreatorAddress, 0u);
}

TEST_F(ThreadRegistry, AThreadThatEndedUnregisteredGoesAtALaterRegistration) {
  WaitingThread doomed;
  const WaitingThread other;
  SetThreadDisplayName(doomed.id(), "doomed");
  // Terminated threads never pass through the thread-detach callbacks.
  ASSERT_TRUE(TerminateThread(doomed.handle(), 0));
  WaitForSingleObject(doomed.handle(), INFINITE);
  EXPECT_EQ(Caption(doomed.id()), Named("doomed", doomed.id()));
  SetThreadDisplayName(other.id(), "other");
  EXPECT_EQ(Caption(doomed.id()), Unnamed(doomed.id()));
  UnregisterThread(other.id());
}

TEST_F(ThreadRegistry, AReusedThreadIdDoesNotInheritTheEndedThreadsEntry) {
  WaitingThread ended;
  const WaitingThread alive;
  RegisterThreadInfo(ended.id(), ended.handle(), "old", GetCurrentThreadId(), 0x1234, "TOld");
  ASSERT_TRUE(TerminateThread(ended.handle(), 0));
  WaitForSingleObject(ended.handle(), INFINITE);
  ASSERT_EQ(ThreadCaption(ended.id(), false).CreatorAddress, 0x1234u) << "still listed";
  // A new thread that got the same id registers itself.
  RegisterThreadInfo(ended.id(), alive.handle(), "new");
  const TThreadCaption caption = ThreadCaption(ended.id(), false);
  EXPECT_EQ(caption.Caption, Named("new", ended.id()));
  EXPECT_EQ(caption.CreatorAddress, 0u);
  EXPECT_EQ(caption.CreatorThread, 0u);
  UnregisterThread(ended.id());
}

struct ExitingThread {
  HANDLE named = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ~ExitingThread() {
    CloseHandle(named);
    CloseHandle(go);
  }
  static DWORD WINAPI Run(void* parameter) {
    auto* self = static_cast<ExitingThread*>(parameter);
    SetThreadDisplayName(GetCurrentThreadId(), "short-lived");
    SetEvent(self->named);
    WaitForSingleObject(self->go, INFINITE);
    ExitThread(0);  // never back through any wrapper
  }
};

TEST_F(ThreadRegistry, AThreadEndingOnItsOwnIsUnregistered) {
  ExitingThread state;
  DWORD id = 0;
  const OwnedHandle thread(CreateThread(nullptr, 0, ExitingThread::Run, &state, 0, &id));
  WaitForSingleObject(state.named, INFINITE);
  EXPECT_EQ(Caption(id), Named("short-lived", id));
  SetEvent(state.go);
  WaitForSingleObject(thread.get(), INFINITE);
  EXPECT_EQ(Caption(id), Unnamed(id));
}

TEST_F(ThreadRegistry, NamingExceptionsOfTheProgramNameThreads) {
  const WaitingThread worker;
  RaiseNaming(Address("pump"), worker.id());
  EXPECT_EQ(Caption(worker.id()), Named("pump", worker.id()));

  // -1 names the raising thread.
  RaiseNaming(Address("main, renamed"), 0xFFFFFFFF);
  EXPECT_EQ(Caption(GetCurrentThreadId()), Named("main, renamed", GetCurrentThreadId()));
  SetThreadDisplayName(GetCurrentThreadId(), "main thread");

  // A name in memory that cannot be read changes nothing and faults
  // nothing. (Raised for real, it would not reach the registry under Wine:
  // Wine 8's exception dispatcher reads the name itself first, to name its
  // own thread, and faults on it.)
  void* page = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_NOACCESS);
  for (uint32_t name : {Address(page), 0u}) {
    const uint32_t request[4] = {0x1000, name, worker.id(), 0};
    EXPECT_TRUE(TakeThreadNamingRequest(request, 4));
  }
  EXPECT_EQ(Caption(worker.id()), Named("pump", worker.id()));
  VirtualFree(page, 0, MEM_RELEASE);
  const uint32_t not_naming[4] = {0x1001, Address("x"), worker.id(), 0};
  const uint32_t with_flags[4] = {0x1000, Address("x"), worker.id(), 1};
  EXPECT_FALSE(TakeThreadNamingRequest(not_naming, 4));
  EXPECT_FALSE(TakeThreadNamingRequest(with_flags, 4));
  EXPECT_FALSE(TakeThreadNamingRequest(not_naming, 3));

  // A name without an end is cut.
  const std::string endless(1000, 'x');
  RaiseNaming(Address(endless.c_str()), worker.id());
  EXPECT_EQ(Caption(worker.id()), Named(std::string(kMaxEntryText, 'x'), worker.id()));
  UnregisterThread(worker.id());
}

// What a debugger would see: the naming exceptions raised while the
// process counts as being debugged. Other vectored handlers run before the
// registry's, which takes the exception afterwards.
struct SeenNaming {
  static LONG CALLBACK Watch(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
    if (record.ExceptionCode == kThreadNamingException && record.NumberParameters == 4) {
      ++count;
      type = static_cast<uint32_t>(record.ExceptionInformation[0]);
      name = reinterpret_cast<const char*>(record.ExceptionInformation[1]);
      thread = static_cast<uint32_t>(record.ExceptionInformation[2]);
    }
    return EXCEPTION_CONTINUE_SEARCH;
  }
  static inline int count = 0;
  static inline uint32_t type = 0, thread = 0;
  static inline std::string name;
};

TEST_F(ThreadRegistry, ADebuggerIsToldTheNamesAndTheProgramGoesOn) {
  const WaitingThread worker;
  void* watcher = AddVectoredExceptionHandler(1, SeenNaming::Watch);
  ASSERT_NE(watcher, nullptr);
  SetThreadDisplayName(worker.id(), "quiet");
  EXPECT_EQ(SeenNaming::count, 0) << "no debugger, no exception";

  PROCESS_BASIC_INFORMATION process{};
  ASSERT_EQ(NtQueryInformationProcess(GetCurrentProcess(), ProcessBasicInformation, &process,
                                      sizeof process, nullptr),
            0);
  PEB& peb = *process.PebBaseAddress;
  peb.BeingDebugged = TRUE;
  SetThreadDisplayName(worker.id(), "visible");
  peb.BeingDebugged = FALSE;
  RemoveVectoredExceptionHandler(watcher);
  EXPECT_EQ(SeenNaming::count, 1);
  EXPECT_EQ(SeenNaming::type, 0x1000u);
  EXPECT_EQ(SeenNaming::name, "visible");
  EXPECT_EQ(SeenNaming::thread, worker.id());
  EXPECT_EQ(Caption(worker.id()), Named("visible", worker.id()));
  UnregisterThread(worker.id());
}

// Entries another module left broken: pushed at the head of the list in
// place of the real ones, which come back afterwards.
class BrokenList {
 public:
  BrokenList() : block_(*ThreadRegistryBlock()), saved_head_(block_.ListHead) {
    first_ = static_cast<ThreadInfoEntry*>(LocalAlloc(LPTR, kEntrySize));
    second_ = static_cast<ThreadInfoEntry*>(LocalAlloc(LPTR, kEntrySize));
    first_->ThreadId = 0xA1;
    second_->ThreadId = 0xB2;
    first_->Next = Address(second_);
    block_.ListHead = Address(first_);
  }
  BrokenList(const BrokenList&) = delete;
  BrokenList& operator=(const BrokenList&) = delete;
  ~BrokenList() {
    block_.ListHead = saved_head_;
    LocalFree(first_);
    LocalFree(second_);
  }
  void LinkLastTo(uint32_t address) { second_->Next = address; }
  uint32_t first() const { return Address(first_); }

 private:
  ThreadNameBlock& block_;
  uint32_t saved_head_;
  ThreadInfoEntry* first_;
  ThreadInfoEntry* second_;
};

void UseTheList(const WaitingThread& worker) {
  EXPECT_EQ(Caption(0x999), Unnamed(0x999));
  EXPECT_EQ(Caption(0xB2), Unnamed(0xB2)) << "entries before the break are found";
  EXPECT_FALSE(IsOwnTrackedThread(0x999));
  SetThreadDisplayName(worker.id(), "still works");
  EXPECT_EQ(Caption(worker.id()), Named("still works", worker.id()));
  UnregisterThread(worker.id());
  EXPECT_EQ(Caption(worker.id()), Unnamed(worker.id()));
  UnregisterThread(0x999);
}

TEST_F(ThreadRegistry, ALoopInTheEntryListNeverHangs) {
  const WaitingThread worker;
  BrokenList list;
  list.LinkLastTo(list.first());
  UseTheList(worker);
}

TEST_F(ThreadRegistry, ALinkIntoMemoryThatIsGoneNeverFaults) {
  const WaitingThread worker;
  BrokenList list;
  void* page = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_NOACCESS);
  list.LinkLastTo(Address(page) + 16);
  UseTheList(worker);
  // Readable memory that is no heap block is not taken for an entry.
  static uint32_t not_an_entry[8] = {0x999, 0, 0, 0, 0, 0, 0, 0};
  list.LinkLastTo(Address(not_an_entry));
  UseTheList(worker);
  VirtualFree(page, 0, MEM_RELEASE);
}

TEST_F(ThreadRegistry, NoHandleOrHeapBlockLeaksAcrossRegistrations) {
  const WaitingThread worker;
  SetThreadDisplayName(worker.id(), "warm-up");
  UnregisterThread(worker.id());
  const size_t handles = HandleCount();
  ASSERT_GT(handles, 0u);
  const size_t heap = HeapInUse();
  for (int i = 0; i < 10000; ++i) {
    RegisterThreadInfo(worker.id(), worker.handle(), "cycle", GetCurrentThreadId(), 0x401000 + i,
                       "TCycle");
    SetThreadDisplayName(worker.id(), "renamed");
    UnregisterThread(worker.id());
  }
  std::printf("10000 registration cycles: handles %zu -> %zu, heap bytes %zu -> %zu\n", handles,
              HandleCount(), heap, HeapInUse());
  EXPECT_EQ(HandleCount(), handles);
  EXPECT_EQ(HeapInUse(), heap);
}

TEST_F(ThreadRegistry, NoHandleMappingOrHeapBlockLeaksAcrossJoiningAndLeaving) {
  const WaitingThread worker;
  LeaveThreadRegistry();
  const size_t handles = HandleCount();
  ASSERT_GT(handles, 0u);
  const size_t heap = HeapInUse();
  for (int i = 0; i < 500; ++i) {
    JoinThreadRegistry();
    // Entries still listed when the last module leaves go with the block.
    SetThreadDisplayName(worker.id(), "left behind");
    const void* view = ThreadRegistryBlock();
    LeaveThreadRegistry();
    MEMORY_BASIC_INFORMATION region;
    ASSERT_EQ(VirtualQuery(view, &region, sizeof region), sizeof region);
    ASSERT_EQ(region.State, static_cast<DWORD>(MEM_FREE)) << "the view is unmapped";
  }
  std::printf("500 join/leave cycles: handles %zu -> %zu, heap bytes %zu -> %zu\n", handles,
              HandleCount(), heap, HeapInUse());
  EXPECT_EQ(HandleCount(), handles);
  EXPECT_EQ(HeapInUse(), heap);
  JoinThreadRegistry();
}

}  // namespace
}  // namespace qor
