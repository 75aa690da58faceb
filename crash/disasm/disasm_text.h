// Instructions as text in the listing's notation: the mnemonic from its
// template, the operands, the whole line with its comment, and "db" lines
// for bytes that form no instruction.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "crash/disasm/disasm.h"
#include "crash/modules/memory_reader.h"

namespace qor {

// Procedure hooks that InstallDebugInfoHooks (debug_info_hooks.h) fills at
// start-up, so that the portable decoder can name code without knowing where
// the names come from. Either may be null.
//   procedure name: "unit.function" of a public that starts exactly at the
//     address, "" when none does.
//   line: source line of the address with a range cache (in/out: line,
//     range start, range end), as the function listing uses it.
using ProcedureNameHook = std::string (*)(uint32_t address);
using LineHook = void (*)(uint32_t address, int32_t& line, uint32_t& range_start,
                          uint32_t& range_end);
extern ProcedureNameHook procedure_name_hook;
extern LineHook line_hook;

// The module (PE image) that holds an address.
struct ModuleInfo {
  uint32_t base = 0;
  uint32_t size = 0;       // SizeOfImage
  std::string file_name;   // full path
};

// What the comments of a line need to know about the process. Every member
// may be left empty; the comment is then left out.
struct TextContext {
  // The module that holds `address`; false when none does.
  std::function<bool(uint32_t address, ModuleInfo& module)> module_of;
  // Export name of `address` in the module at `module` ("" when none), as
  // the PE tools give it.
  std::function<std::string(uint32_t module, uint32_t address)> export_name;
  uint32_t own_module = 0;  // base of the program's own module
};

// Mnemonic of a valid decoded instruction (a template may carry its own
// operand, as "int     3"); "" for an invalid one.
std::string InstructionMnemonic(const Instruction& instruction);

// The operands, separated by ", "; "" when there are none.
std::string OperandText(const Instruction& instruction);

// One listing line for the instruction at `address`, or its "db" lines
// joined by CR LF when it is invalid. `slots` are the listing's register
// tracking; `info` receives the decode. `context` may be null (no comments).
std::string InstructionText(const MemoryReader& memory, uint32_t address, RegisterSlots* slots,
                            CodeInfo& info, const TextContext* context = nullptr);

// Name of a code address: the export name of its module, else the
// procedure-name hook's answer; "" when neither knows it.
std::string TargetName(const TextContext& context, uint32_t address);

// Hexadecimal in lower case without leading zeros, "$" in front.
std::string DollarHex(uint32_t value);

}  // namespace qor
