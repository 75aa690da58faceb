// The comment of a listing line: the name of a call or jump target (through
// an import thunk when needed), or the name or text that a 32-bit constant
// of the instruction points to inside its own module.
#pragma once

#include <string>

#include "crash/disasm/disasm.h"
#include "crash/disasm/disasm_text.h"

namespace qor {

// Appends "  ; comment" (after padding the line to 40 characters) when the
// instruction has one; leaves the line alone otherwise.
void AppendComment(const MemoryReader& memory, const TextContext& context,
                   const Instruction& instruction, std::string& line);

// True when `bytes` read as text by the listing's heuristic: the scan stops
// at 0, LF or FF and refuses any other control byte; letters, digits and
// spaces must outweigh punctuation and high characters. `text` receives
// the scanned characters.
bool LooksLikeText(const uint8_t* bytes, size_t size, std::string& text);

}  // namespace qor
