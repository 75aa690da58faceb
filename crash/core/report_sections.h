// The text of the bug report's sections after the header: thread blocks,
// the module list, and the texts that stand in for a section that failed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "crash/core/module_list.h"

namespace qor {

// The steps of a report whose failure the report names.
inline constexpr char kStepThreadStack[] = "GetThreadStack";
inline constexpr char kStepThreadReport[] = "GetThreadReport";
inline constexpr char kStepModuleReport[] = "GetModuleReport";
inline constexpr char kStepHardwareList[] = "GetHardwareList";
inline constexpr char kStepDisassembly[] = "GetCleartextDisAsm";

// ">> internal error in " + step, and when the failure's place is known
// (`location`, a stack line, not empty) ":" + CR LF + that line.
std::string InternalErrorText(std::string_view step, std::string_view location);

// The paragraph that closes a report when composing it failed somewhere;
// `address` (0: unknown) is where the failure was raised.
std::string ComposeFailureText(uint32_t address);

// CR LF CR LF + caption + ":", the state marks (" <suspended>", then
// " <priority:n>" for a priority other than normal), CR LF.
std::string ThreadHeaderLine(std::string_view caption, bool suspended, int32_t priority);

// The stack text of a thread before or without its walk; the failing
// thread's adds the exception location (a stack line).
std::string StackNotAccessibleText(bool failing, std::string_view exception_location);

// Inserts ">> created by <creator> at:" on its own line before the last
// line of `stack` (the walker lists the creating call last).
void InsertCreatedBy(std::string& stack, std::string_view creator_caption);

// "modules:", then per module its base in 8 hex digits, its name and
// version each padded to one more than the longest, its directory, and its
// debug id when it has one.
std::string ModuleListText(const TDAModule& modules);

// CR LF CR LF "disassembling:" CR LF before a non-empty listing.
std::string DisassemblySectionText(std::string_view listing);

}  // namespace qor
