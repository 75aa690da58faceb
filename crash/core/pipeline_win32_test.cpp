// Every way a program fails reaches the handling pipeline: each scenario
// runs in its own child process (pipeline_win32_test_child), which prints
// what its handlers and the pipeline's steps saw; the test checks those
// lines and the exit code.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "crash/modules/testing/child_output_win32.h"

namespace {

struct ChildRun {
  DWORD exit_code = 0xFFFFFFFF;
  std::vector<std::string> lines;

  // Lines starting with `prefix`.
  std::vector<std::string> With(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& line : lines) {
      if (line.rfind(prefix, 0) == 0) found.push_back(line);
    }
    return found;
  }
  bool Has(const std::string& line) const {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
};

ChildRun RunChild(const std::string& program, const std::string& scenario) {
  const qor::test::ChildOutput output = qor::test::RunChildProgram(program, scenario);
  ChildRun run;
  run.exit_code = output.exit_code;
  std::istringstream lines(output.text);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    run.lines.push_back(line);
  }
  return run;
}

ChildRun RunScenario(const std::string& scenario) {
  return RunChild("pipeline_win32_test_child.exe", scenario);
}

std::string Joined(const ChildRun& run) {
  std::string text;
  for (const std::string& line : run.lines) text += line + "\n";
  return text;
}

TEST(Pipeline, ExceptionFromAGuiEventHandlerIsReportedAndTheProgramGoesOn) {
  const ChildRun run = RunScenario("gui");
  EXPECT_EQ(run.exit_code, 0u) << Joined(run);
  EXPECT_EQ(run.With("phase1"),
            std::vector<std::string>{
                "phase1 class=runtime.Exception message=in an event handler continue=1 "
                "thread=main address=1 report=report of runtime.Exception on=handling"})
      << Joined(run);
  EXPECT_TRUE(run.Has("dialog report of runtime.Exception")) << Joined(run);
  EXPECT_TRUE(run.Has("continued")) << Joined(run);
}

TEST(Pipeline, GuiShowExceptionReportsItsMessage) {
  const ChildRun run = RunScenario("gui_show");
  EXPECT_EQ(run.exit_code, 0u);
  ASSERT_EQ(run.With("phase1").size(), 1u) << Joined(run);
  EXPECT_NE(run.With("phase1")[0].find("class=qor.QorException message=shown message continue=1"),
            std::string::npos)
      << Joined(run);
}

TEST(Pipeline, ExceptionsEscapingThreadsAreReportedAndOnlyTheThreadEnds) {
  for (const char* scenario : {"thread_routine", "thread_object"}) {
    const ChildRun run = RunScenario(scenario);
    EXPECT_EQ(run.exit_code, 0u) << scenario;
    ASSERT_EQ(run.With("phase1").size(), 1u) << Joined(run);
    EXPECT_NE(run.With("phase1")[0].find("continue=1 thread=other address=1"), std::string::npos)
        << Joined(run);
    EXPECT_TRUE(run.Has("continued")) << scenario;
  }
  EXPECT_NE(
      Joined(RunScenario("thread_object")).find("class=runtime.EOSError message=from Execute"),
      std::string::npos);
}

TEST(Pipeline, AccessViolationOnTheMainThreadEndsTheProgram) {
  const ChildRun run = RunScenario("av_main");
  EXPECT_EQ(run.exit_code, 1u) << Joined(run);
  ASSERT_EQ(run.With("phase1").size(), 1u) << Joined(run);
  const std::string& line = run.With("phase1")[0];
  EXPECT_NE(line.find("class=qor.QorException message=Access violation at address "),
            std::string::npos)
      << line;
  EXPECT_NE(line.find(" in module 'pipeline_win32_test_child.exe'. Write of address 00000000 "
                      "continue=0 thread=main"),
            std::string::npos)
      << line;
  EXPECT_TRUE(run.Has("close"));
  EXPECT_FALSE(run.Has("continued"));
}

TEST(Pipeline, FaultsInAnotherThreadEndOnlyThatThread) {
  for (const char* scenario : {"av_thread", "stack_overflow_thread"}) {
    const ChildRun run = RunScenario(scenario);
    EXPECT_EQ(run.exit_code, 0u) << Joined(run);
    ASSERT_EQ(run.With("phase1").size(), 1u) << Joined(run);
    EXPECT_NE(run.With("phase1")[0].find("continue=1 thread=other"), std::string::npos);
    EXPECT_TRUE(run.Has("continued"));
  }
  EXPECT_NE(Joined(RunScenario("stack_overflow_thread")).find("message=Stack overflow"),
            std::string::npos);
}

TEST(Pipeline, FatalFailuresOfTheMainThreadAreReportedOnceAndEndWithCode1) {
  const struct {
    const char* scenario;
    const char* expected;
  } cases[] = {
      {"stack_overflow", "class=qor.QorException message=Stack overflow continue=0"},
      {"uncaught", "class=runtime.Exception message=nobody catches this continue=0"},
      {"abort", "class=qor.QorException message=Runtime error continue=0"},
      {"divide", "class=qor.QorException message=Division by zero continue=0"},
  };
  for (const auto& c : cases) {
    const ChildRun run = RunScenario(c.scenario);
    EXPECT_EQ(run.exit_code, 1u) << c.scenario << "\n" << Joined(run);
    ASSERT_EQ(run.With("phase1").size(), 1u) << c.scenario << "\n" << Joined(run);
    EXPECT_NE(run.With("phase1")[0].find(c.expected), std::string::npos) << Joined(run);
    EXPECT_TRUE(run.Has("close")) << c.scenario;
  }
}

TEST(Pipeline, AnAbortIsSilentAndEndsTheProgramWhenItCannotGoOn) {
  const ChildRun silent = RunScenario("abort_silent");
  EXPECT_EQ(silent.exit_code, 0u);
  EXPECT_TRUE(silent.With("phase1").empty()) << Joined(silent);
  EXPECT_TRUE(silent.With("compose").empty()) << Joined(silent);
  EXPECT_TRUE(silent.Has("continued"));

  const ChildRun fatal = RunScenario("abort_fatal");
  EXPECT_EQ(fatal.exit_code, 1u) << Joined(fatal);
  EXPECT_TRUE(fatal.With("phase1").empty()) << Joined(fatal);
}

TEST(Pipeline, AFailureInsideAHandlerGivesNoSecondReport) {
  const ChildRun run = RunScenario("handler_throws");
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(run.With("compose begin").size(), 1u) << Joined(run);
  EXPECT_EQ(run.With("dialog").size(), 1u) << Joined(run);
  EXPECT_TRUE(run.Has("continued"));
}

TEST(Pipeline, AFaultInsideThePipelineGivesNoSecondReport) {
  const ChildRun run = RunScenario("compose_faults");
  EXPECT_EQ(run.exit_code, 0u) << Joined(run);
  EXPECT_EQ(run.With("compose faults").size(), 1u) << Joined(run);
  EXPECT_EQ(run.With("phase1").size(), 1u) << Joined(run);
  EXPECT_EQ(run.With("dialog"), std::vector<std::string>{"dialog half"}) << Joined(run);
  EXPECT_TRUE(run.Has("continued"));
}

TEST(Pipeline, AnIgnoredClassIsNeitherComposedNorShown) {
  const ChildRun run = RunScenario("ignored");
  EXPECT_EQ(run.exit_code, 0u);
  ASSERT_EQ(run.With("phase1").size(), 1u) << Joined(run);
  EXPECT_NE(run.With("phase1")[0].find("class=runtime.EOSError message=ignored class continue=1 "
                                       "thread=main address=1 report= on=handling"),
            std::string::npos)
      << Joined(run);
  EXPECT_TRUE(run.With("compose").empty()) << Joined(run);
  EXPECT_TRUE(run.With("dialog").empty()) << Joined(run);
}

// Eight reports, composed strictly one after the other: every "compose
// begin" is followed by the "compose end" of the same thread, and every
// thread's report is there.
TEST(Pipeline, EightThreadsFailingAtOnceGiveEightSeparateReports) {
  const ChildRun run = RunScenario("eight");
  EXPECT_EQ(run.exit_code, 0u);
  const std::vector<std::string> composing = run.With("compose ");
  ASSERT_EQ(composing.size(), 16u) << Joined(run);
  std::set<std::string> threads;
  for (size_t i = 0; i < composing.size(); i += 2) {
    const std::string id = composing[i].substr(std::string("compose begin ").size());
    EXPECT_EQ(composing[i], "compose begin " + id);
    EXPECT_EQ(composing[i + 1], "compose end " + id) << Joined(run);
    threads.insert(id);
  }
  EXPECT_EQ(threads.size(), 8u);
  EXPECT_EQ(run.With("phase1").size(), 8u);
  EXPECT_EQ(run.With("dialog").size(), 8u);
}

TEST(Pipeline, RequestsLeaveNoHandleOpen) {
  const ChildRun run = RunScenario("handles");
  EXPECT_TRUE(run.Has("handles grew by 0")) << Joined(run);
  EXPECT_EQ(run.With("phase1").size(), 7u);
}

TEST(Pipeline, QuitWhileTheMainThreadWaitsIsPostedAgainAndTheReportCompletes) {
  const ChildRun run = RunScenario("quit");
  EXPECT_EQ(run.exit_code, 42u) << Joined(run);
  EXPECT_TRUE(run.Has("quit 42")) << Joined(run);
  EXPECT_EQ(run.With("dialog").size(), 1u) << Joined(run);
}

TEST(Pipeline, MainThreadHandlersOfAFrozenRequestRunOnlyWhenAllowed) {
  const ChildRun run = RunScenario("frozen");
  EXPECT_TRUE(run.With("sync1").empty()) << Joined(run);
  EXPECT_EQ(run.With("sync2"), std::vector<std::string>{"sync2 on=handling"}) << Joined(run);
}

TEST(Pipeline, MainThreadHandlersRunOnTheMainThread) {
  const ChildRun run = RunScenario("main_handlers");
  EXPECT_EQ(run.With("sync1"), std::vector<std::string>{"sync1 on=main"}) << Joined(run);
}

// The main thread is asked by sent messages (a probe, then the pass) only
// when a handler wants it.
TEST(Pipeline, NoMessageIsSentWithoutMainThreadHandlers) {
  EXPECT_TRUE(RunScenario("sent_without_handlers").Has("sent=0"));
  const ChildRun run = RunScenario("sent_with_handlers");
  EXPECT_TRUE(run.Has("sent=2")) << Joined(run);
}

TEST(Pipeline, PhaseTwoCannotStopTheDialog) {
  const ChildRun run = RunScenario("phase2");
  EXPECT_EQ(run.With("dialog").size(), 1u) << Joined(run);
}

TEST(Pipeline, HiddenHandlersHearOfCaughtExceptionsButNotOfReportedOnes) {
  const ChildRun run = RunScenario("hidden");
  EXPECT_EQ(run.With("hidden"),
            std::vector<std::string>{"hidden caught quietly report=report of runtime.Exception"})
      << Joined(run);
  EXPECT_EQ(run.With("phase1").size(), 2u);
}

TEST(Pipeline, PausedThreadsWaitAtTheirMessageLoopAndResume) {
  const ChildRun run = RunScenario("paused");
  const std::vector<std::string> paused = run.With("paused turns=");
  ASSERT_EQ(paused.size(), 1u) << Joined(run);
  EXPECT_LE(std::stoi(paused[0].substr(std::string("paused turns=").size())), 1) << Joined(run);
  EXPECT_TRUE(run.Has("resumed"));
}

// Shut-down waits for a handling thread in the middle of a request instead
// of ending it after 500 ms: the report is not lost.
TEST(Pipeline, ShutDownWaitsForARequestInProgress) {
  const ChildRun run = RunScenario("end_while_busy");
  EXPECT_EQ(run.exit_code, 0u) << Joined(run);
  const auto main_ends = std::find(run.lines.begin(), run.lines.end(), "main ends");
  const auto done = std::find(run.lines.begin(), run.lines.end(), "slow handler done");
  EXPECT_LT(main_ends, done) << Joined(run);
  EXPECT_EQ(run.With("dialog").size(), 1u) << Joined(run);
}

// An idle handling thread that does not answer the stop record is ended
// after its 500 ms: the program still ends, with its own exit code, instead
// of waiting for it forever (the child would be killed as hung: 0xDEAD).
TEST(Pipeline, ShutDownEndsAnIdleHandlingThreadThatDoesNotAnswer) {
  const ChildRun run = RunScenario("end_while_stuck");
  EXPECT_TRUE(run.Has("handling thread suspended")) << Joined(run);
  EXPECT_EQ(run.exit_code, 0u) << Joined(run);
}

// A failure under the loader lock is processed on the failing thread: the
// handling thread could not finish while the lock is held.
TEST(Pipeline, AFailureInALibrarysStartUpIsReportedOnItsOwnThread) {
  const ChildRun run = RunScenario("library_start");
  EXPECT_EQ(run.exit_code, 0u) << Joined(run);
  ASSERT_EQ(run.With("phase1").size(), 1u) << Joined(run);
  EXPECT_NE(run.With("phase1")[0].find("message=in a library's start-up continue=1 thread=main "
                                       "address=1 report=report of runtime.Exception on=main"),
            std::string::npos)
      << Joined(run);
  EXPECT_TRUE(run.Has("continued"));
}

TEST(Pipeline, WithHooksOffNothingIsCreated) {
  const ChildRun run = RunChild("pipeline_off_win32_test_child.exe", "");
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(run.lines, std::vector<std::string>{"thread=0 patches=0 registry=0 started=1"})
      << Joined(run);
}

}  // namespace
