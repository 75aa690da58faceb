// Call chains with known frames, for checking stack walkers against the
// truth: each scenario calls `capture` (or raises, or faults) at its
// innermost point, and its expected frames are listed innermost first.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace scenario {

// Called at the innermost point of the chain, recursion, callback and
// thread scenarios, on the scenario's own thread.
extern void (*capture)();

// The source line of each call whose frame a walker should report.
struct CallLines {
  int chain[6] = {};   // Chain1..Chain5 (index 1..5) calling the next one
  int throw_line = 0;  // the throw in Throw5
  int fault_line = 0;  // the faulting write in Fault3
  int inlined_capture = 0;  // the call of `capture` in the inlined InlinedStep
  int inlined_call = 0;     // the place InlinedHost inlines InlinedStep
};
extern CallLines lines;

void RunChain();
// InlinedHost calls `capture` from code of InlinedStep inlined into it.
void RunInlined();
void RunRecursion(int depth);
void RunCallback();
void RunThread();
// Throws from Throw5 and catches the exception here; a raise hook sees it first.
void RunThrow();
// Writes to an unmapped address in Fault3; an exception handler must skip
// the faulting instruction (StepPastFault). Returns normally afterwards.
void RunFault();
// Runs the scenario `name` whose innermost point lies in exception
// handling: a catch block or a destructor run while an exception passes,
// each kept in a function's cold part, in its own section, in a template
// and in an inline function. False for any other name.
bool RunHandling(const std::string& name);

// The object whose destructor calls `capture` while an exception passes.
struct Guard {
  __attribute__((noinline)) ~Guard();
};

// Moves `context` past the instruction at its Eip; false when that cannot
// be decoded.
bool StepPastFault(CONTEXT& context);

struct Expected {
  const char* name;
  std::vector<std::string> frames;  // readable names, innermost first, down to the root
  bool system_frames_between;       // frames of system modules may appear in between
};

// The scenarios with their expected frames; `capture_name` is the readable
// name of the capture function, the innermost frame where one is called.
std::vector<Expected> ExpectedFrames(const std::string& capture_name);

}  // namespace scenario
