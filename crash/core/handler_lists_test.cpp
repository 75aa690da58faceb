#include "crash/core/handler_lists.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace qor {
namespace {

// What the handlers of one test did, in order.
std::vector<std::string> calls;

void Record(const char* name) {
  calls.push_back(name);
}

void PlainSetsHandled(bool, uint32_t, uint32_t, uint32_t, std::string& report, TScreenshot&,
                      bool& can_continue, bool& handled) {
  Record("plain");
  report += "+plain";
  can_continue = false;
  handled = true;
}

void PlainQuiet(bool, uint32_t, uint32_t, uint32_t, std::string&, TScreenshot&, bool&, bool&) {
  Record("quiet");
}

void MethodSetsHandled(void* self, bool, uint32_t, uint32_t, uint32_t, std::string&, TScreenshot&,
                       bool&, bool& handled) {
  Record(static_cast<const char*>(self));
  handled = true;
}

void Throws(bool, uint32_t, uint32_t, uint32_t, std::string&, TScreenshot&, bool&, bool&) {
  Record("throws");
  throw std::runtime_error("inside a handler");
}

void Hidden(uint32_t object, uint32_t, uint32_t, const std::string&) {
  Record("hidden");
}
void HiddenMethod(void* self, uint32_t, uint32_t, uint32_t, const std::string&) {
  Record(static_cast<const char*>(self));
}

void Action(int32_t action, bool, uint32_t, uint32_t, uint32_t, std::string&, TScreenshot&,
            bool& handled) {
  calls.push_back("action " + std::to_string(action));
  handled = true;
}

struct Call {
  std::string report;
  TScreenshot screenshot;
  TFireHandlersParams params;

  explicit Call(int32_t kind, int32_t phase = 1) {
    params.Kind = kind;
    params.Phase = phase;
    params.Report = &report;
    params.Screenshot = &screenshot;
  }
};

class HandlerListsTest : public ::testing::Test {
 protected:
  void SetUp() override { calls.clear(); }
  void TearDown() override {
    for (uint8_t phase = 0; phase < 3; ++phase) {
      UnregisterExceptHandler(PlainSetsHandled, phase);
      UnregisterExceptHandler(PlainQuiet, phase);
      UnregisterExceptHandler(Throws, phase);
      UnregisterExceptHandler(MethodSetsHandled, method_object, phase);
    }
    UnregisterHiddenHandler(Hidden);
    UnregisterHiddenHandler(HiddenMethod, method_object);
    UnregisterActionHandler(Action);
  }
  char method_object[7] = "method";
};

TEST_F(HandlerListsTest, NothingRegisteredMeansNoHandlersOfAnyKind) {
  EXPECT_FALSE(HasHandlers(kExceptionHandlers));
  EXPECT_FALSE(HasHandlers(kActionHandlers));
  EXPECT_FALSE(HasHandlers(kHiddenHandlers));
  Call call(kExceptionHandlers);
  RunHandlerPass(call.params);
  EXPECT_TRUE(calls.empty());
}

TEST_F(HandlerListsTest, MethodsComeFirstAndHandledStopsThePass) {
  RegisterExceptHandler(PlainSetsHandled, kOnHandlingThread, 1);
  RegisterExceptHandler(MethodSetsHandled, method_object, kOnHandlingThread, 1);
  Call call(kExceptionHandlers, 1);
  RunHandlerPass(call.params);
  EXPECT_EQ(calls, std::vector<std::string>{"method"});
  EXPECT_TRUE(call.params.Handled);
}

TEST_F(HandlerListsTest, OnlyTheCallsPhaseAndThreadAreCalled) {
  RegisterExceptHandler(PlainQuiet, kOnHandlingThread, 0);
  RegisterExceptHandler(PlainSetsHandled, kOnMainThreadOnly, 1);
  Call phase1(kExceptionHandlers, 1);
  RunHandlerPass(phase1.params);
  EXPECT_TRUE(calls.empty()) << "a main-thread handler is not called on the handling thread";
  EXPECT_TRUE(WantsMainThread(kExceptionHandlers, 1));
  EXPECT_FALSE(WantsMainThread(kExceptionHandlers, 0));

  phase1.params.MainThreadPass = true;
  RunHandlerPass(phase1.params);
  EXPECT_EQ(calls, std::vector<std::string>{"plain"});
  EXPECT_EQ(phase1.report, "+plain");
  EXPECT_FALSE(phase1.params.CanContinue);
}

TEST_F(HandlerListsTest, SecondRoundCallsOnlyHandlersThatAllowIt) {
  RegisterExceptHandler(PlainSetsHandled, kOnMainThreadOnly, 1);
  RegisterExceptHandler(PlainQuiet, kOnMainThreadIfReachable, 1);
  Call call(kExceptionHandlers, 1);
  call.params.MainThreadPass = true;
  call.params.SecondRound = true;
  RunHandlerPass(call.params);
  EXPECT_EQ(calls, std::vector<std::string>{"quiet"});
}

TEST_F(HandlerListsTest, PhaseTwoCallsEveryHandlerAndCannotStopTheDialog) {
  RegisterExceptHandler(PlainSetsHandled, kOnHandlingThread, 2);
  RegisterExceptHandler(PlainQuiet, kOnHandlingThread, 2);
  Call call(kExceptionHandlers, 2);
  RunHandlerPass(call.params);
  EXPECT_EQ(calls, (std::vector<std::string>{"plain", "quiet"}));
  EXPECT_FALSE(call.params.Handled);
}

TEST_F(HandlerListsTest, AThrowingHandlerIsSkipped) {
  RegisterExceptHandler(Throws, kOnHandlingThread, 1);
  RegisterExceptHandler(PlainQuiet, kOnHandlingThread, 1);
  Call call(kExceptionHandlers, 1);
  RunHandlerPass(call.params);
  EXPECT_EQ(calls, (std::vector<std::string>{"throws", "quiet"}));
}

TEST_F(HandlerListsTest, HiddenHandlersAreAllCalledAndActionsGetTheirNumber) {
  RegisterHiddenHandler(Hidden, kOnHandlingThread);
  RegisterHiddenHandler(HiddenMethod, method_object, kOnHandlingThread);
  Call hidden(kHiddenHandlers);
  hidden.params.Handled = true;
  RunHandlerPass(hidden.params);
  EXPECT_EQ(calls, (std::vector<std::string>{"method", "hidden"}));

  calls.clear();
  RegisterActionHandler(Action, kOnHandlingThread);
  Call action(kActionHandlers);
  action.params.Action = kActionClose;
  RunHandlerPass(action.params);
  EXPECT_EQ(calls, std::vector<std::string>{"action 6"});
  EXPECT_TRUE(action.params.Handled);
}

// Registering again changes the sync byte instead of adding a second
// entry; unregistering removes only the named phase.
TEST_F(HandlerListsTest, RegistrationIsPerRoutineAndPhase) {
  RegisterExceptHandler(PlainQuiet, kOnHandlingThread, 1);
  RegisterExceptHandler(PlainQuiet, kOnHandlingThread, 1);
  RegisterExceptHandler(PlainQuiet, kOnHandlingThread, 2);
  Call call(kExceptionHandlers, 1);
  RunHandlerPass(call.params);
  EXPECT_EQ(calls.size(), 1u);
  UnregisterExceptHandler(PlainQuiet, 1);
  calls.clear();
  RunHandlerPass(call.params);
  EXPECT_TRUE(calls.empty());
  EXPECT_TRUE(HasHandlers(kExceptionHandlers));
}

}  // namespace
}  // namespace qor
