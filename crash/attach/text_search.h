// Searching in 8-bit text. Positions are 1-based; 0 means "not found".
#pragma once

#include <cstddef>
#include <string_view>

#include "crash/attach/char_set.h"

namespace qor {

// Position of `sub` in `text`, trying start positions from `from` towards
// `to`: forwards the first occurrence, backwards (to < from) the last one.
// Start positions beyond where `sub` can fit are skipped, so
// (sub, text, Length(text), 1) finds the last occurrence. An empty `sub`
// or `text`, or `from` or `to` equal to 0, gives 0.
size_t FindSubText(std::string_view sub, std::string_view text, size_t from, size_t to,
                   bool ignore_case);

// Case-insensitive "text begins with prefix".
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

// Position of the first (forwards) or last (backwards, to < from) byte of
// `text` between `from` and `to` that is in `set`; 0 if there is none.
size_t FindCharOf(const CharSet& set, std::string_view text, size_t from, size_t to);

}  // namespace qor
