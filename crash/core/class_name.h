// The class name the report shows for a C++ object: its dynamic type's
// name, demangled, with "::" written as ".".
#pragma once

#include <string>
#include <typeinfo>

namespace qor {

// "runtime.EAbort" for runtime::EAbort; the raw name when it cannot be
// demangled.
std::string ClassName(const std::type_info& type);

}  // namespace qor
