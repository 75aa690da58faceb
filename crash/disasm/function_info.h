// Which bytes belong to a function, found from its machine code alone:
// the code areas reached from the entry, the calls and jumps that leave it,
// those whose targets are unknown, and the tables the compiler put between
// the code. The stack walker and the report's listing both build on it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "crash/disasm/disasm.h"
#include "crash/modules/eh_tables.h"
#include "crash/modules/memory_reader.h"

namespace qor {

struct CodeArea {
  uint32_t begin = 0;
  uint32_t end = 0;             // last byte; 0 while the area is not parsed yet
  bool case_table = false;      // holds a case-jump table, not code
  bool handler_table = false;   // holds an exception-handler table, not code
  uint32_t called_from = 0;     // the jump that first led here; 0 for fall-through
  RegisterSlots slots{};        // register tracking valid at `begin`
};

// A call or jump with a known target that leaves the function.
struct FarCall {
  bool is_call = false;
  uint32_t code_addr = 0;   // first byte of the instruction
  uint32_t after_addr = 0;  // first byte after it
  uint32_t target = 0;
  bool rel_target = false;
  uint32_t p_target = 0;
  uint32_t pp_target = 0;
};

struct UnknownTarget {
  bool is_call = false;
  uint32_t code_addr = 0;
  uint32_t after_addr = 0;
};

struct FunctionCopy {
  bool is_valid = false;
  uint32_t buffer_len = 0;  // bytes a relocated copy of the function needs
  uint32_t last_error_addr = 0;
  uint32_t last_error_no = 0;
  std::string last_error_str;
};

struct TFunctionInfo {
  bool is_valid = false;
  uint32_t entry_point = 0;
  uint32_t code_begin = 0;  // lowest byte of all code areas
  uint32_t code_len = 0;    // highest last byte - code_begin + 1
  uint32_t last_error_addr = 0;
  uint32_t last_error_no = 0;
  std::string last_error_str;
  std::vector<CodeArea> code_areas;
  std::vector<FarCall> far_calls;
  std::vector<UnknownTarget> unknown_targets;
  bool interceptable = false;  // the first bytes may be overwritten by a 5-byte jump
  FunctionCopy copy;
};

// Error number of code that cannot be decoded.
inline constexpr uint32_t kInvalidCodeError = 0x770001;
// Error number of an entry in memory that is not committed.
inline constexpr uint32_t kInvalidParameterError = 87;

// Routines whose calls change the control flow of the caller. Zero means
// the program has no such routine.
struct SpecialRoutines {
  uint32_t except_routine = 0;    // handler of any exception: code continues after the call
  uint32_t finally_routine = 0;   // finally handler: the same, and its finally block is code
  uint32_t auto_exception = 0;    // a leaving jump and nothing more
  uint32_t typed_handler = 0;     // a table of (class, handler) pairs follows the call
  // Calls here, or through an import cell here, end the path (see
  // function_noreturn.h).
  std::vector<uint32_t> never_return;
};

// Analyses the function at `entry`. The landing pads that the exception
// tables of the entry's module name for it are entry points of its code
// too; `frames` is the module's index of those tables when the caller keeps
// one (null: it is read for this call). Returns info.is_valid; false means
// the entry is not committed (error 87) or some path ran into bytes that
// are no instruction (error 0x770001), with the place in
// info.last_error_addr.
bool ParseFunction(uint32_t entry, const MemoryReader& memory, const SpecialRoutines& routines,
                   TFunctionInfo& info, const EhFrameIndex* frames = nullptr);

// Text of error 87 as the system words it.
std::string InvalidParameterText();

}  // namespace qor
