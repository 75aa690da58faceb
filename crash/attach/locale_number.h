// Number texts that follow the user's locale (Windows only).
#pragma once

#include <cstdint>
#include <string>

namespace qor {

// The first character of the thread locale's decimal separator, or ","
// when the system cannot say. Read once, then cached.
char LocaleDecimalChar();

// FormatByteSize with the locale's decimal separator.
std::string FormatByteSize(int64_t bytes);

}  // namespace qor
