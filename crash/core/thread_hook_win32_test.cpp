#include "crash/core/thread_hook.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "crash/attach/number_text.h"
#include "crash/core/thread_registry.h"
#include "crash/core/win_handle.h"
#include "crash/debuginfo/debug_info_live.h"
#include "runtime/exceptions.h"
#include "runtime/thread.h"

namespace qor_test {

// A thread object of the program, outside any unnamed namespace so that
// its class name is plain.
class TScanner : public runtime::TThread {
 public:
  explicit TScanner(HANDLE go) : go_(go) {}
  ~TScanner() override {
    SetEvent(go_);
    WaitFor();
  }

 protected:
  void Execute() override { WaitForSingleObject(go_, INFINITE); }

 private:
  HANDLE go_;
};

class TFailing : public runtime::TThread {
 protected:
  void Execute() override {
    qor::SetThreadDisplayName(GetCurrentThreadId(), "failing");
    throw runtime::Exception("scan failed");
  }
};

}  // namespace qor_test

namespace qor {
namespace {

DWORD WINAPI WaitForEvent(void* event) {
  WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
  return 7;
}

// Create threads the way any code of the program does. The empty asm
// after each call keeps the call from becoming a jump, so its return
// address lies in these functions.
__attribute__((noinline)) HANDLE StartWorker(HANDLE go, DWORD* id) {
  const HANDLE thread = CreateThread(nullptr, 0, WaitForEvent, go, 0, id);
  asm volatile("");
  return thread;
}

__attribute__((noinline)) void StartScanner(runtime::TThread& thread) {
  thread.Start();
  asm volatile("");
}

// The function of the program's debug information that holds `address`.
std::string FunctionAt(uint32_t address) {
  AddressInfo info;
  return LiveAddressInfo(address, info) ? info.public_name : std::string();
}

class ThreadHook : public testing::Test {
 protected:
  void SetUp() override {
    JoinThreadRegistry();
    ASSERT_TRUE(HookCreateThread());
  }
  void TearDown() override {
    UnhookCreateThread();
    LeaveThreadRegistry();
  }
  const OwnedHandle go_{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
};

TEST_F(ThreadHook, ACreatedThreadKnowsItsCreatorUntilItsRoutineReturns) {
  EXPECT_FALSE(HookCreateThread()) << "hooked already";
  DWORD id = 0;
  const OwnedHandle thread(StartWorker(go_.get(), &id));
  ASSERT_TRUE(thread);
  ASSERT_NE(id, 0u);
  const TThreadCaption caption = ThreadCaption(id, false);
  EXPECT_EQ(caption.Caption, "thread " + FormatHex(id));
  EXPECT_EQ(caption.CreatorThread, GetCurrentThreadId());
  EXPECT_NE(FunctionAt(caption.CreatorAddress).find("StartWorker"), std::string::npos)
      << FunctionAt(caption.CreatorAddress);
  EXPECT_TRUE(IsOwnTrackedThread(id));
  EXPECT_FALSE(IsOwnTrackedThread(GetCurrentThreadId())) << "no creator known";

  SetEvent(go_.get());
  WaitForSingleObject(thread.get(), INFINITE);
  DWORD result = 0;
  GetExitCodeThread(thread.get(), &result);
  EXPECT_EQ(result, 7u) << "the routine's result passes through";
  EXPECT_EQ(ThreadCaption(id, false).CreatorAddress, 0u) << "the entry went with the routine";
}

TEST_F(ThreadHook, AThreadObjectIsNamedByItsClassAndCreatedWhereStartWasCalled) {
  qor_test::TScanner scanner(go_.get());
  StartScanner(scanner);
  ASSERT_NE(scanner.ThreadID(), 0u);
  const TThreadCaption caption = ThreadCaption(scanner.ThreadID(), false);
  EXPECT_EQ(caption.Caption, "thread " + FormatHex(scanner.ThreadID()) + " (qor_test.TScanner)");
  EXPECT_NE(FunctionAt(caption.CreatorAddress).find("StartScanner"), std::string::npos)
      << FunctionAt(caption.CreatorAddress);
}

TEST_F(ThreadHook, AnExceptionEscapingExecuteIsHandedOnAndTheEntryRemoved) {
  static int reports;
  static std::string message;
  reports = 0;
  InstallExecutionWrapper([] {
    ++reports;
    try {
      throw;
    } catch (const runtime::Exception& e) {
      message = e.Message;
    }
  });
  qor_test::TFailing thread;
  thread.Start();
  thread.WaitFor();
  InstallExecutionWrapper(nullptr);
  EXPECT_EQ(runtime::execute_wrapper, nullptr);
  EXPECT_EQ(reports, 1);
  EXPECT_EQ(message, "scan failed");
  EXPECT_FALSE(thread.FatalException());
  EXPECT_EQ(ThreadCaption(thread.ThreadID(), false).Caption,
            "thread " + FormatHex(thread.ThreadID()));
}

TEST_F(ThreadHook, WithoutTheHookNothingIsRecorded) {
  UnhookCreateThread();
  DWORD id = 0;
  const OwnedHandle thread(StartWorker(go_.get(), &id));
  EXPECT_EQ(ThreadCaption(id, false).CreatorAddress, 0u);
  SetEvent(go_.get());
  WaitForSingleObject(thread.get(), INFINITE);
}

}  // namespace
}  // namespace qor
