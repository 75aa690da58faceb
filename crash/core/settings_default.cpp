// The library's default record, alone in this file: a program that defines
// its own ExceptSettings never pulls this object file in.
#include "crash/core/settings.h"

namespace qor {

constinit TExceptSettings ExceptSettings{};

}  // namespace qor
