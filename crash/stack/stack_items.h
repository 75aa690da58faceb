// The per-trace records of the stack walker: one item per candidate return
// address, linked to the items it may have called (list 0) and been called
// from (list 1), and the state one trace carries through its phases.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "crash/debuginfo/inline_table.h"
#include "crash/stack/progress.h"
#include "crash/stack/stack_context.h"

namespace qor {

struct TStackLink {
  int32_t Other = -1;     // index of the linked item, -1 = none
  uint32_t CodeAddr = 0;  // the call instruction, or the current instruction
  bool HasTarget = false;
  uint32_t Target = 0;    // address called, 0 when unknown
  int32_t Function = -1;  // function-table index or -1
  int64_t Score = 0;      // cache of the chain search, 0 = not computed yet
};

struct TStackLinkList {
  std::vector<TStackLink> Entries;
  int32_t Best = -1;  // index of the chosen entry, -1 when none
};

inline constexpr int kCallees = 0;  // links to later items
inline constexpr int kCallers = 1;  // links to earlier items

struct TStackItemInfo {
  uint32_t Address = 0;  // the address printed: normally the call instruction
  int32_t FunctionLine = 0;
  int32_t Line = 0;
  std::string ModuleName;
  std::string UnitName;
  std::string FunctionName;
  uint32_t FunctionStart = 0;
  // Inlined functions at Address, innermost first: each prints a line of
  // its own above the item's.
  std::vector<InlineFrame> Inlined;
};

struct TStackItem {
  uint32_t Address = 0;  // candidate return address; after the current instruction for the top
  bool Sure = false;     // cannot be dropped by the later phases
  bool Top = false;      // stands for the thread's current instruction
  int32_t Module = -1;
  TStackLinkList Links[2];
  bool Invalid = false;  // not part of the call stack
  TStackItemInfo Output;
};

// The arguments of one trace, as the portable entry receives them.
struct TraceRequest {
  bool hide_useless_items = false;
  bool show_relative_addresses = false;
  bool show_relative_lines = false;
  uint32_t current_address = 0;
  bool is_exception = false;
  bool exact_address = false;
  uint32_t stack_bottom = 0;
  uint32_t stack_top = 0;
  uint32_t creator_address = 0;
  uint32_t* function_entry_out = nullptr;
  uint32_t* code_address_out = nullptr;
  TProgress* progress = nullptr;
  uint32_t frame_pointer = 0;
  std::span<const uint8_t> prepared_stack;
  bool no_current_item = false;
};

// One fold of a recursion: the items of the copy that stayed, and how many
// items the copy right above it, which went, had. `low` and `high` bound
// both copies.
struct FoldedRecursion {
  int32_t low = 0;
  int32_t high = 0;
  int32_t removed = 0;
  std::vector<int32_t> kept;
};

// One trace: its request, its items (index 0 the outermost call level),
// the frame chain of the first phase and the recursions folded.
struct StackWalk {
  const StackTraceContext& context;
  const TraceRequest& request;
  std::vector<TStackItem> items;
  std::vector<uint32_t> chain;  // stack slots holding return addresses, rising
  int64_t chain_cursor = -1;    // index into `chain`, -1 when below its start
  std::string result;
  std::vector<FoldedRecursion> folded;

  int32_t Count() const { return static_cast<int32_t>(items.size()); }
  void Progress(int64_t per_mille) const {
    if (request.progress) request.progress->SetPosition(per_mille);
  }
};

// Adds a link to list `list` of `item`.
void AddLink(StackWalk& walk, int32_t item, int list, const TStackLink& link);

// Drops an item that is not sure: invalid, its links taken out of both
// sides.
void DiscardItem(StackWalk& walk, int32_t item);

// Marks a function as proven absent and removes every link that names it.
void RejectFunction(StackWalk& walk, int32_t function);

}  // namespace qor
