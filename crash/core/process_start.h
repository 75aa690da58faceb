// When the program started, as the core recorded it at its start-up
// (Windows only): the start of the report's program up time.
#pragma once

#include <cstdint>

namespace qor {

// UTC system time in 100 ns units since 1601-01-01 (a FILETIME); 0 before
// the core's start-up.
uint64_t ProcessStartTime();

}  // namespace qor
