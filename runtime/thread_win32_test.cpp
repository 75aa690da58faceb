#include "runtime/thread.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>

#include "runtime/exceptions.h"

namespace runtime {
namespace {

class Counter : public TThread {
 public:
  bool throw_at_end = false;
  int rounds = 0;

 protected:
  void Execute() override {
    while (!Terminated() && rounds < 3) ++rounds;
    if (throw_at_end) throw Exception("thread failed");
  }
};

TEST(TThread, ExecuteRunsOnItsOwnThread) {
  Counter thread;
  EXPECT_EQ(thread.ThreadID(), 0u);
  ASSERT_TRUE(thread.Start());
  EXPECT_FALSE(thread.Start()) << "started twice";
  thread.WaitFor();
  EXPECT_EQ(thread.rounds, 3);
  EXPECT_NE(thread.ThreadID(), 0u);
  EXPECT_NE(thread.ThreadID(), GetCurrentThreadId());
  EXPECT_FALSE(thread.FatalException());
}

TEST(TThread, AnEscapingExceptionIsKeptWithoutAWrapper) {
  Counter thread;
  thread.throw_at_end = true;
  ASSERT_TRUE(thread.Start());
  thread.WaitFor();
  ASSERT_TRUE(thread.FatalException());
  try {
    std::rethrow_exception(thread.FatalException());
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message, "thread failed");
  }
}

TEST(TThread, TheWrapperRunsExecuteAndSeesWhatEscapes) {
  static bool caught;
  static TThread* seen;
  caught = false;
  seen = nullptr;
  execute_wrapper = [](TThread& thread) {
    seen = &thread;
    try {
      thread.RunExecute();
    } catch (const Exception&) {
      caught = true;
    }
  };
  Counter thread;
  thread.throw_at_end = true;
  ASSERT_TRUE(thread.Start());
  thread.WaitFor();
  execute_wrapper = nullptr;
  EXPECT_EQ(seen, &thread);
  EXPECT_TRUE(caught);
  EXPECT_EQ(thread.rounds, 3);
  EXPECT_FALSE(thread.FatalException());
}

// The creator address lies in the function that called Start.
__attribute__((noinline)) uint32_t StartFromHere(TThread& thread) {
  thread.Start();
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&StartFromHere));
}

TEST(TThread, TheCreatorAddressIsTheCallOfStart) {
  Counter thread;
  uint32_t function = StartFromHere(thread);
  thread.WaitFor();
  EXPECT_GT(thread.CreatorAddress(), function);
  EXPECT_LT(thread.CreatorAddress(), function + 64);
}

}  // namespace
}  // namespace runtime
