// Case handling of 8-bit text in the Western code page 1252. The library
// uses its own table rather than the C locale so that comparisons give the
// same answer in every process state and on every host.
#pragma once

#include <string>
#include <string_view>

namespace qor {

// Lower-case form of one byte: A-Z and the upper-case letters of code page
// 1252 map to their lower-case forms, everything else to itself.
unsigned char LowerCaseChar(unsigned char c);

bool SameCharNoCase(char a, char b);

// Case-insensitive equality of two texts.
bool EqualNoCase(std::string_view a, std::string_view b);

// Negative, zero or positive: by the lower-case table, then by length.
int CompareNoCase(std::string_view a, std::string_view b);

// Upper-cases a-z and the three letters 228, 246 and 252 (by subtracting
// 32) in place; every other byte stays as it is.
void ToUpperText(std::string& text);

}  // namespace qor
