#include "crash/attach/case_compare.h"

#include <array>
#include <cstddef>

namespace qor {
namespace {

constexpr std::array<unsigned char, 256> MakeLowerTable() {
  std::array<unsigned char, 256> table{};
  for (int c = 0; c < 256; ++c) table[c] = static_cast<unsigned char>(c);
  for (int c = 'A'; c <= 'Z'; ++c) table[c] = static_cast<unsigned char>(c + 32);
  // Code page 1252: S caron, OE, Z caron, Y diaeresis sit apart from the
  // Latin-1 block, whose upper-case letters are 192-222 except the
  // multiplication sign.
  table[138] = 154;
  table[140] = 156;
  table[142] = 158;
  table[159] = 255;
  for (int c = 192; c <= 222; ++c) {
    if (c != 215) table[c] = static_cast<unsigned char>(c + 32);
  }
  return table;
}

constexpr std::array<unsigned char, 256> kLowerTable = MakeLowerTable();

}  // namespace

unsigned char LowerCaseChar(unsigned char c) { return kLowerTable[c]; }

bool SameCharNoCase(char a, char b) {
  return kLowerTable[static_cast<unsigned char>(a)] == kLowerTable[static_cast<unsigned char>(b)];
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  return CompareNoCase(a, b) == 0;
}

int CompareNoCase(std::string_view a, std::string_view b) {
  const size_t common = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < common; ++i) {
    const int la = kLowerTable[static_cast<unsigned char>(a[i])];
    const int lb = kLowerTable[static_cast<unsigned char>(b[i])];
    if (la != lb) return la - lb;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

void ToUpperText(std::string& text) {
  for (char& c : text) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'a' && u <= 'z') || u == 228 || u == 246 || u == 252) {
      c = static_cast<char>(u - 32);
    }
  }
}

}  // namespace qor
