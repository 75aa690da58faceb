// List texts: items separated by one delimiter byte ("," for recipients,
// "|" for file lists).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qor {

// Removes blanks (bytes 0 to 32) at both ends and around every delimiter,
// drops leading and trailing delimiters and collapses runs of delimiters,
// so that empty items disappear.
void TidyList(std::string& list, char delimiter);

// 0 for an empty text, otherwise 1 + the number of delimiters.
size_t ListCount(std::string_view list, char delimiter);

// The index-th item (1-based); empty when there are fewer items.
std::string ListItem(std::string_view list, size_t index, char delimiter);

// True if one whole item equals `item`, ignoring case.
bool ListContains(std::string_view list, std::string_view item, char delimiter);

}  // namespace qor
