// Readable function names from the symbol names of a 32-bit MinGW program:
// demangled, parameters and return type dropped, "::" shown as ".".
#pragma once

#include <string>

namespace qor::convert {

// The name as the report shows it: "ns.Class.Method" for the symbol
// "__ZN2ns5Class6MethodEv"; plain C names lose their leading underscore and
// a stdcall "@n" suffix.
std::string ReadableSymbolName(const std::string& symbol);

// The same shape for a name that is already demangled (as a debugger tool
// prints it): "ns::Class::Method(int) const" gives "ns.Class.Method".
std::string ReadableDemangledName(const std::string& name);

// `readable` cut to at most `limit` bytes for the format's name fields:
// template arguments give way first ("<...>"), then the front of the name,
// since the function's own name is at its end.
std::string FitName(const std::string& readable, size_t limit);

// The last part of a readable name without template arguments:
// "std.vector<int>.push_back" gives "push_back", "ns.tw<int>" gives "tw".
// Debuggers name functions without a linkage name by this part alone.
std::string UnqualifiedName(const std::string& readable);

}  // namespace qor::convert
