// Host-side helpers for analysing real programs: a PE file's sections
// placed as the loader places them, and the output of the tool chain's
// inspection programs (symbol and debug-information dumps).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "crash/modules/testing/mapped_memory.h"

namespace qor::test {

// Maps the headers and sections of the PE file at `path` into `memory` at
// its image base and returns that base; 0 when the file is no PE image.
uint32_t LoadPeFile(const std::string& path, MappedMemory& memory);

// Standard output of `command`; empty when it cannot be started.
std::string CommandOutput(const std::string& command);

struct Symbol {
  std::string name;
  uint32_t address = 0;
};

// The symbols in the output of nm whose kind letter is one of `kinds`.
std::vector<Symbol> SymbolsOfKinds(const std::string& nm_output, const char* kinds);

// The code symbols ("T"/"t") in the output of nm.
std::vector<Symbol> CodeSymbols(const std::string& nm_output);

}  // namespace qor::test
