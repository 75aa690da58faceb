// One line for a single code address: the exception location of a report,
// and the place a failed stack-trace phase names.
#pragma once

#include <cstdint>
#include <string>

#include "crash/stack/stack_context.h"

namespace qor {

// "0041a2b3 Uninstall.exe Main 123 TForm1.ContinueBtnClick": the address as
// 8 lower-case hexadecimal digits, then module file name (without path),
// unit, line (left out when unknown) and function from the debug
// information of the module that holds the address; " ???" instead when
// that module has no valid debug information or the lookup fails.
std::string FormatCodeLocation(const StackTraceContext& context, uint32_t address);

}  // namespace qor
