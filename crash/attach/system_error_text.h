// The system's message text for an error code (Windows only).
#pragma once

#include <cstdint>
#include <string>

namespace qor {

// The system's text for `code` on one line: carriage returns become blanks
// and line feeds are dropped, so a message ending in CR LF ends in one
// blank. Status values (either of the two top bits set) are first turned
// into Win32 error codes; codes 2100 to 2999 are also looked up in the
// network message library. Without a text: "Unknown error" and the code in
// hexadecimal.
std::string SystemErrorText(uint32_t code);

}  // namespace qor
