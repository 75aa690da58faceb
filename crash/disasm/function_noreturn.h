// The routines of GCC-built programs that never return to their caller.
// A call to one ends the path of the function analysis, the way a call to a
// program's termination routine does, so the bytes after it (often padding
// or the next function) are not taken for the caller's code.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace qor {

// True for the name of a routine that never returns, given either as the
// linker's symbol (mangled, optionally with the stdcall "@n" suffix and one
// leading underscore of the 32-bit Windows ABI) or demangled.
bool IsNeverReturningName(std::string_view name);

// The exact names that the program's debug information or exports are
// searched for; the "__throw_" family of the standard library is matched by
// IsNeverReturningName instead, as there are many of them.
const std::vector<std::string_view>& NeverReturningNames();

struct NamedAddress {
  std::string_view name;
  uint32_t address = 0;
};

// Addresses of the never-returning routines among `symbols` (the program's
// publics from its debug information, or a module's exports), sorted and
// unique, for SpecialRoutines::never_return.
std::vector<uint32_t> NeverReturningAddresses(std::span<const NamedAddress> symbols);

}  // namespace qor
