// Readable names from the names that the tool chain's second compiler gives
// its Pascal-style routines ("@Unit@Class@Method$qqr...").
#pragma once

#include <string>

namespace qor {

// Turns a mangled `name` into "Class.Method" and puts the unit it names into
// `unit`. "::" always becomes ".". False (unit empty, nothing else changed)
// when the name does not begin with "@", that is, is not mangled.
bool Unmangle(std::string& name, std::string& unit);

}  // namespace qor
