#include "crash/core/thread_report_win32.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "crash/core/report_step_win32.h"
#include "crash/core/settings.h"
#include "crash/core/thread_list.h"
#include "crash/core/thread_registry.h"
#include "crash/stack/progress.h"

namespace qor {
namespace {

struct TListedThread {
  uint32_t Id = 0;
  bool Failing = false;   // walked from the exception
  bool Innermost = false;  // its walk locates the failing function
  TThreadCaption Caption;
  bool HasState = false;
  TThreadState State;
};

TListedThread Listed(uint32_t id, bool failing, bool innermost, bool force_caption) {
  TListedThread thread;
  thread.Id = id;
  thread.Failing = failing;
  thread.Innermost = innermost;
  thread.Caption = ThreadCaption(id, force_caption);
  // A hidden thread gets no block: its state is not needed.
  if (!thread.Caption.Caption.empty()) thread.HasState = ThreadState(id, thread.State);
  return thread;
}

std::vector<TListedThread> ThreadsToList(const BugReportInput& input) {
  std::vector<TListedThread> threads;
  if (!input.Frozen) threads.push_back(Listed(input.ThreadId, true, true, true));
  const uint32_t main = MainThreadId();
  if (input.Frozen || main != input.ThreadId) {
    threads.push_back(Listed(main, false, input.Frozen, false));
  }
  if (ExceptSettings.ListAllThreads) {
    const uint32_t handling = GetCurrentThreadId();
    for (const uint32_t id : ListProcessThreads()) {
      if ((id == input.ThreadId && !input.Frozen) || id == main || id == handling ||
          (id == input.WatchdogThread && id != 0)) {
        continue;
      }
      threads.push_back(Listed(id, false, false, false));
    }
  }
  // Hidden threads make no block.
  std::erase_if(threads, [](const TListedThread& thread) { return thread.Caption.Caption.empty(); });
  return threads;
}

uint32_t StackSize(const TListedThread& thread) {
  return thread.HasState && thread.State.StackEnd > thread.State.StackBegin
             ? thread.State.StackEnd - thread.State.StackBegin
             : 0;
}

// The stack text of one thread, or nothing when it cannot be walked.
std::string WalkedStack(const BugReportInput& input, const TListedThread& thread,
                        TProgress* progress, TFailingCode& failing_code) {
  const TThreadState& state = thread.State;
  uint32_t bottom = state.StackBegin;
  uint32_t frame = state.Frame;
  uint32_t current = state.Instruction;
  if (thread.Failing) {
    current = input.ExceptAddress;
    if (input.StackPointer) bottom = input.StackPointer;
    if (input.FramePointer) frame = input.FramePointer;
  }
  TFailingCode found;
  std::string stack = TraceStack(
      ExceptSettings.HideUselessItems, ExceptSettings.ShowRelativeAddresses,
      ExceptSettings.ShowRelativeLines, current, thread.Failing, thread.Failing && input.IsExternal,
      bottom, state.StackEnd, thread.Caption.CreatorAddress, &found.FunctionEntry,
      &found.CodeAddress, progress, frame, ExceptSettings.SkipChainOptimisation, nullptr, false);
  if (thread.Innermost) failing_code = found;
  if (!stack.empty() && thread.Caption.CreatorAddress != 0) {
    InsertCreatedBy(stack, ThreadCaption(thread.Caption.CreatorThread, true).Caption);
  }
  return stack;
}

std::string ThreadBlock(const BugReportInput& input, const TListedThread& thread,
                        TProgress* progress, TFailingCode& failing_code) {
  const std::string& caption = thread.Caption.Caption;
  std::string block;
  TStepFailure address;
  const bool done = RunStep(kStepThreadStack, [&] {
    // A raised exception's address follows the call of the raise routine,
    // which never returns: the next instruction may start the next line.
    std::string location;
    if (thread.Failing) {
      location = FormatCodeLocation(input.ExceptAddress - (input.IsExternal ? 0 : 1));
    }
    std::string stack = StackNotAccessibleText(thread.Failing, location);
    if (thread.HasState) {
      std::string walked = WalkedStack(input, thread, progress, failing_code);
      if (!walked.empty()) stack = std::move(walked);
      block = ThreadHeaderLine(caption, thread.State.Suspended, thread.State.Priority) + stack;
    } else {
      block = ThreadHeaderLine(caption, false, 0) + stack;
    }
  }, address);
  if (!done) block = ThreadHeaderLine(caption, false, 0) + StepErrorText(kStepThreadStack, address);
  return block;
}

}  // namespace

std::string ThreadSectionText(const BugReportInput& input, TFailingCode& failing_code) {
  std::string text;
  TStepFailure address;
  // Outside the guarded body, so that a fault still closes the window.
  std::vector<TListedThread> threads;
  std::unique_ptr<TProgress> progress;
  const bool done = RunStep(kStepThreadReport, [&] {
    threads = ThreadsToList(input);
    if (input.ShowProgress) {
      progress = std::make_unique<TProgress>();
      for (const TListedThread& thread : threads) progress->AddPhase(int64_t{StackSize(thread)} * 100);
    }
    for (const TListedThread& thread : threads) {
      text += ThreadBlock(input, thread, progress.get(), failing_code);
      if (progress) progress->FinishPhase();
    }
  }, address);
  if (!done) text += "\r\n\r\n" + StepErrorText(kStepThreadReport, address);
  return text;
}

}  // namespace qor
