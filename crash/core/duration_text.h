// How long something has run, as the report's header writes it.
#pragma once

#include <cstdint>
#include <string>

namespace qor {

// The two largest units that matter, each left out when 0: "2 days 3 hours ",
// "1 hour ", "59 seconds ". Every written unit ends with a blank; empty
// when both numbers are 0 (under one minute with 0 seconds).
std::string DurationText(int64_t seconds);

// The program's up time: the duration text of the whole seconds, or, for a
// process younger than one second, the milliseconds and " milliseconds".
std::string UpTimeText(int64_t milliseconds);

}  // namespace qor
