// Sets of the 256 byte values, as the text routines take them.
#pragma once

#include <bitset>
#include <string_view>

namespace qor {

using CharSet = std::bitset<256>;

// The set holding every byte of `chars`.
inline CharSet MakeCharSet(std::string_view chars) {
  CharSet set;
  for (char c : chars) set.set(static_cast<unsigned char>(c));
  return set;
}

inline bool InSet(const CharSet& set, char c) { return set.test(static_cast<unsigned char>(c)); }

}  // namespace qor
