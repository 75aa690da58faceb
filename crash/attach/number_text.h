// Number formats of the bug report. Hexadecimal numbers are "$" followed by
// lower-case digits without leading zeros unless padding asks for them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qor {

// Decimal digits with "-" for negative values, then PadText(width, fill).
std::string FormatDecimal(int32_t value, int width = 0, char fill = ' ');
std::string FormatDecimal64(int64_t value, int width = 0, char fill = ' ');

// "$" and lower-case hexadecimal digits ("0" for zero). A hexadecimal-digit
// fill (or a negative width) pads the digits to |width| behind the "$";
// any other fill pads the whole text on the left to |width| + 1.
std::string FormatHex(uint32_t value, int width = 0, char fill = ' ');
// The 64-bit form writes the high half followed by exactly 8 digits of the
// low half when the high half is not zero.
std::string FormatHex64(uint64_t value, int width = 0, char fill = ' ');

// Reads `count` characters: a leading "-" negates, every other character
// adds its digit value (0-9, a-f and A-F as 10-15 in both bases, anything
// else 0) after multiplying by 10 or 16. Nothing is validated and the
// arithmetic wraps at 32 bits.
int32_t ParseNumber(bool is_hex, const char* chars, size_t count);

// Sizes for the report: below 1024 "<n> Bytes", then KB, MB and GB with two
// decimals (truncated), the decimal separator given by the caller.
std::string FormatByteSize(int64_t bytes, char decimal_char);

}  // namespace qor
