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

}  // namespace qor::convert
