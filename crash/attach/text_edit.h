// Editing 8-bit text in place: trimming, removing, replacing, padding.
#pragma once

#include <string>
#include <string_view>

#include "crash/attach/char_set.h"

namespace qor {

// True for the bytes 0 to 32, which trimming treats as blanks.
inline bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

// Removes leading and trailing bytes 0 to 32.
void TrimBlanks(std::string& text);
// The same, returning a trimmed copy.
std::string TrimmedBlanks(std::string_view text);

// Removes every byte that is in `set`; true if anything was removed.
bool RemoveChars(std::string& text, const CharSet& set);

// Replaces every occurrence of `find`, scanning left to right. After a
// replacement the scan goes on behind the inserted text, or with `rescan`
// one byte after its start, so that the inserted text together with what
// follows can match again. A rescan that would find `find` inside the
// replacement itself would never end; in that case the scan goes on behind
// the inserted text. True if at least one replacement was made; an empty
// `find` replaces nothing.
bool ReplaceAll(std::string& text, std::string_view find, std::string_view replacement,
                bool ignore_case, bool rescan);

// Pads `text` with `fill` to |width| bytes: on the left for a positive
// width, on the right for a negative one. A left padding with a digit keeps
// a leading "-" in front of the digits.
void PadText(std::string& text, int width, char fill);

// Each byte becomes the UTF-16 code unit of the same value (no code-page
// conversion), written little-endian; `add_terminator` appends a zero unit.
std::string WidenLatin1(std::string_view text, bool add_terminator);

}  // namespace qor
