// The stack walker: turns the raw memory of a thread's stack into its call
// stack, one line per call level, innermost first, without any frame
// information from the compiler. Every dword that could be a return address
// is a candidate; the machine code around it and the modules' debug
// information confirm, link and thin out the candidates.
//
// This is the portable core: every read goes through the context's reader.
// The Windows entry on top of it fills the defaults of the stack range and
// the current address, tests that the range is readable and takes the read
// snapshot. Only one trace may run at a time in the process (the module and
// function tables it shares have no lock); the report core ensures that.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "crash/stack/progress.h"
#include "crash/stack/stack_context.h"

namespace qor {

// Called with a phase's name as the phase starts, inside its guard; null
// (the default) calls nothing. Tests fail a chosen phase through it.
extern void (*phase_start_hook)(const char* phase);

// Returns the lines separated by CR LF, without a final one:
//   address [+offset] module unit [function-line] [line] function
// or ">> internal error in " + phase name (+ ":\r\n" and the code location
// when the failing exception's address is known) when a phase throws or
// meets a processor fault; the later phases are then skipped.
//
// Arguments, all explicit (no defaults are filled here):
// - hide_useless_items: leave out items without a line number.
// - show_relative_addresses: a column with the offset from the function start.
// - show_relative_lines: the line relative to the function's first line
//   beside the absolute one.
// - current_address: the exception address or the thread's instruction pointer.
// - is_exception: the current address belongs to an exception.
// - exact_address: the current address is the faulting instruction itself;
//   when false it may be the return address of a call to a raise routine.
// - stack_bottom, stack_top: the stack range to scan, [bottom, top). Empty
//   text when bottom is above top.
// - creator_address: where the thread was created (0: unknown); it becomes
//   the outermost item.
// - function_entry_out, code_address_out (each may be null): set to 0 first,
//   then the entry of the function holding the current instruction and the
//   printed address of the innermost item; when execution went to a bad
//   address, the function and the call that went there.
// - progress (may be null): moved from 0 to 1000 of its running phase.
// - frame_pointer: the thread's frame-base register (0: none); its chain of
//   saved frames marks sure return addresses.
// - skip_chain_optimisation: leave out the phase RealizeOptimalLinkChains.
// - prepared_stack: when not empty, the candidates instead of the stack's
//   dwords: a 32-bit count, then per entry a flag byte (1 = sure) and a
//   32-bit address, packed. Entries beyond the given bytes are ignored.
// - no_current_item: do not append the current address as the innermost item.
std::string TraceStack(const StackTraceContext& context, bool hide_useless_items,
                       bool show_relative_addresses, bool show_relative_lines,
                       uint32_t current_address, bool is_exception, bool exact_address,
                       uint32_t stack_bottom, uint32_t stack_top, uint32_t creator_address,
                       uint32_t* function_entry_out, uint32_t* code_address_out,
                       TProgress* progress, uint32_t frame_pointer, bool skip_chain_optimisation,
                       std::span<const uint8_t> prepared_stack, bool no_current_item);

}  // namespace qor
