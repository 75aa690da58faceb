// The seven phases of a stack trace, in the order they run. Any of them may
// throw (an allocation that fails, a reader that raises); the entry guards
// each one on its own.
#pragma once

#include "crash/stack/stack_items.h"

namespace qor {

// Every dword of the stack (or of a prepared list) that may be a return
// address becomes an item, confirmed where the code around it allows.
void CollectPossibleStackItems(StackWalk& walk);
// A recursion that repeats a sequence of calls keeps its outermost copy;
// the others are discarded with their links.
void RemoveRecursiveStackAreas(StackWalk& walk);
// Checks each item against the functions that may hold it and links it to
// the later items its call may have led to.
void InDeepChecks(StackWalk& walk);
// Between each two sure items keeps the best-scored chain of links.
void RealizeOptimalLinkChains(StackWalk& walk);
// As RemoveRecursiveStackAreas over the final chain, marking only.
void RemoveRecursiveAreas(StackWalk& walk);
// Module, unit, line and function of each remaining item.
void FillFinalOutput(StackWalk& walk);
// The text, one aligned line per shown item, innermost first.
void ComposeResult(StackWalk& walk);

}  // namespace qor
