// A few texts (system module and function names, a fallback phrase) are kept
// scrambled in the program so that they do not show up in a plain search of
// the executable. Scrambling XORs every byte with one fixed value, so the
// same operation scrambles and unscrambles.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qor {

inline constexpr unsigned char kScrambleByte = 0xA7;

// XORs every byte with kScrambleByte.
std::string UnscrambleText(std::string_view text);

// A text literal scrambled at compile time; only the scrambled bytes end up
// in the program.
template <size_t N>
class ScrambledText {
 public:
  static_assert(N > 1, "scramble a non-empty text");
  consteval ScrambledText(const char (&plain)[N]) {
    for (size_t i = 0; i + 1 < N; ++i) {
      bytes_[i] = static_cast<char>(static_cast<unsigned char>(plain[i]) ^ kScrambleByte);
    }
  }
  std::string_view Scrambled() const { return {bytes_, N - 1}; }
  std::string Plain() const { return UnscrambleText(Scrambled()); }

 private:
  char bytes_[N - 1] = {};
};

}  // namespace qor
