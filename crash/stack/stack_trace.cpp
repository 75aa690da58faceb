#include "crash/stack/stack_trace.h"

#include "crash/modules/guarded_call.h"
#include "crash/stack/code_location.h"
#include "crash/stack/stack_phases.h"

namespace qor {

void (*phase_start_hook)(const char* phase) = nullptr;

namespace {

struct Phase {
  const char* name;
  void (*run)(StackWalk&);
  int64_t progress_after;  // per mille of the trace; -1: leaves it as it is
};

constexpr Phase kPhases[] = {
    {"CollectPossibleStackItems", CollectPossibleStackItems, 25},
    {"RemoveRecursiveStackAreas", RemoveRecursiveStackAreas, -1},
    {"InDeepChecks", InDeepChecks, 650},
    {"RealizeOptimalLinkChains", RealizeOptimalLinkChains, 1000},
    {"RemoveRecursiveAreas", RemoveRecursiveAreas, -1},
    {"FillFinalOutput", FillFinalOutput, -1},
    {"ComposeResult", ComposeResult, -1},
};

// `address`: where the failure happened, 0 when unknown.
std::string InternalError(const StackTraceContext& context, const char* phase, uint32_t address) {
  std::string text = std::string(">> internal error in ") + phase;
  if (address != 0) text += ":\r\n" + FormatCodeLocation(context, address);
  return text;
}

// Runs one phase; false, with the result replaced by the internal-error
// text, when it throws or faults. A fault names its instruction, an
// exception the place of its throw as the context knows it.
bool RunGuarded(StackWalk& walk, const Phase& phase) {
  GuardedFault fault;
  bool returned = false;
  try {
    returned = Guarded(
        [&] {
          if (phase_start_hook) phase_start_hook(phase.name);
          phase.run(walk);
        },
        &fault);
  } catch (...) {
    const auto& context = walk.context;
    walk.result =
        InternalError(context, phase.name, context.exception_address ? context.exception_address() : 0);
    return false;
  }
  if (!returned) {
    walk.result = InternalError(walk.context, phase.name, fault.address);
    return false;
  }
  if (phase.progress_after >= 0) walk.Progress(phase.progress_after);
  return true;
}

}  // namespace

std::string TraceStack(const StackTraceContext& context, bool hide_useless_items,
                       bool show_relative_addresses, bool show_relative_lines,
                       uint32_t current_address, bool is_exception, bool exact_address,
                       uint32_t stack_bottom, uint32_t stack_top, uint32_t creator_address,
                       uint32_t* function_entry_out, uint32_t* code_address_out,
                       TProgress* progress, uint32_t frame_pointer, bool skip_chain_optimisation,
                       std::span<const uint8_t> prepared_stack, bool no_current_item) {
  if (function_entry_out) *function_entry_out = 0;
  if (code_address_out) *code_address_out = 0;
  if (stack_bottom > stack_top) return {};
  const TraceRequest request{hide_useless_items, show_relative_addresses, show_relative_lines,
                             current_address,    is_exception,            exact_address,
                             stack_bottom,       stack_top,               creator_address,
                             function_entry_out, code_address_out,        progress,
                             frame_pointer,      prepared_stack,          no_current_item};
  StackWalk walk{context, request, {}, {}, -1, {}};
  for (const Phase& phase : kPhases) {
    if (skip_chain_optimisation && phase.run == RealizeOptimalLinkChains) continue;
    if (!RunGuarded(walk, phase)) break;
  }
  return walk.result;
}

}  // namespace qor
