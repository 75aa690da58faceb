#include "crash/attach/scrambled_text.h"

namespace qor {

std::string UnscrambleText(std::string_view text) {
  std::string plain(text);
  for (char& c : plain) c = static_cast<char>(static_cast<unsigned char>(c) ^ kScrambleByte);
  return plain;
}

}  // namespace qor
