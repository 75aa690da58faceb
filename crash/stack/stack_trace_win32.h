// The stack walker over the current process (Windows only): the entry the
// report core calls for each thread, with the defaults of its arguments
// filled from the calling thread.
#pragma once

#include <cstdint>
#include <string>

#include "crash/stack/progress.h"

namespace qor {

// As the portable TraceStack (stack_trace.h), with these defaults:
// current_address 0 and is_exception false: the return address of this
// call; stack_bottom 0: the caller's stack pointer; stack_top 0: the
// calling thread's stack base. prepared_stack is the packed list itself
// (a 32-bit count, then 5 bytes per entry) or null. Empty text when the
// stack range is not readable as a whole.
std::string TraceStack(bool hide_useless_items, bool show_relative_addresses,
                       bool show_relative_lines, uint32_t current_address, bool is_exception,
                       bool exact_address, uint32_t stack_bottom, uint32_t stack_top,
                       uint32_t creator_address, uint32_t* function_entry_out,
                       uint32_t* code_address_out, TProgress* progress, uint32_t frame_pointer,
                       bool skip_chain_optimisation, const void* prepared_stack,
                       bool no_current_item);

// FormatCodeLocation over the current process.
std::string FormatCodeLocation(uint32_t address);

}  // namespace qor
