// Where the report puts the failure inside its function: an exception
// address that falls between two instructions, 4 bytes short of one, is
// moved to that instruction.
#pragma once

#include <cstdint>

#include "crash/disasm/function_info.h"
#include "crash/modules/memory_reader.h"

namespace qor {

// True when `address` is where an instruction of `function` starts (in one
// of its code areas), or the target of one of its recorded calls and jumps.
bool IsInstructionOf(const TFunctionInfo& function, const MemoryReader& memory, uint32_t address);

// `address` + 4 when `address` is no instruction of the analysed `function`
// but `address` + 4 is; otherwise `address`.
uint32_t CorrectedExceptAddress(const TFunctionInfo& function, const MemoryReader& memory,
                                uint32_t address);

}  // namespace qor
