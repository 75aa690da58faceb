// The process trace as it is handed to an outside tool in a shared view:
// the report's text and a terminating NUL, cut to the length the tool asked
// for and never past the end of the view. Portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qor {

// Copies `report` and a NUL to the start of `view` (`view_size` bytes): at
// most max_length - 1 characters, and at most view_size - 1. Returns the
// bytes written, NUL included; 0 (nothing written) when max_length or the
// view leave no room.
size_t CopyTraceToView(std::string_view report, int32_t max_length, uint8_t* view,
                       size_t view_size);

}  // namespace qor
