#include "crash/core/thread_list.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "crash/core/testing/waiting_thread_win32.h"
#include "crash/core/win_handle.h"

namespace qor {
namespace {

using Waiter = test::WaitingThread;

bool Lists(const std::vector<uint32_t>& threads, uint32_t id) {
  return std::find(threads.begin(), threads.end(), id) != threads.end();
}

TEST(ListProcessThreads, TheMainThreadFirstAndEveryOther) {
  const Waiter first, second;
  const std::vector<uint32_t> threads = ListProcessThreads();
  ASSERT_FALSE(threads.empty());
  // The test runs on the program's main thread.
  EXPECT_EQ(threads.front(), GetCurrentThreadId());
  EXPECT_TRUE(Lists(threads, first.id()));
  EXPECT_TRUE(Lists(threads, second.id()));
}

TEST(OpenThreadById, OpensALiveThreadOnly) {
  const Waiter waiter;
  const OwnedHandle handle(OpenThreadById(waiter.id(), THREAD_QUERY_INFORMATION));
  ASSERT_TRUE(handle);
  EXPECT_EQ(GetThreadPriority(handle.get()), THREAD_PRIORITY_NORMAL);
  SetLastError(0);
  EXPECT_EQ(OpenThreadById(0xFFFFFFF0, THREAD_QUERY_INFORMATION), nullptr);
  EXPECT_NE(GetLastError(), 0u);
}

TEST(ThreadState, ASuspendedThreadAtTheHighestPriority) {
  const Waiter waiter(CREATE_SUSPENDED);
  ASSERT_TRUE(SetThreadPriority(waiter.handle(), THREAD_PRIORITY_HIGHEST));
  TThreadState state;
  ASSERT_TRUE(ThreadState(waiter.id(), state));
  EXPECT_TRUE(state.Suspended);
  EXPECT_EQ(state.Priority, THREAD_PRIORITY_HIGHEST);
  EXPECT_NE(state.Instruction, 0u);
  EXPECT_LT(state.StackBegin, state.StackEnd);
  EXPECT_EQ(ResumeThread(waiter.handle()), 1u) << "the probe left the suspension as it was";
}

TEST(ThreadState, ARunningThreadAndTheCurrentOne) {
  const Waiter waiter;
  TThreadState state;
  ASSERT_TRUE(ThreadState(waiter.id(), state));
  EXPECT_FALSE(state.Suspended);
  EXPECT_EQ(state.Priority, THREAD_PRIORITY_NORMAL);

  const int local = 0;
  const uint32_t here = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&local));
  ASSERT_TRUE(ThreadState(GetCurrentThreadId(), state));
  EXPECT_FALSE(state.Suspended);
  EXPECT_LE(state.StackBegin, here);
  EXPECT_GT(state.StackEnd, here);
  EXPECT_FALSE(ThreadState(0xFFFFFFF0, state));
}

}  // namespace
}  // namespace qor
