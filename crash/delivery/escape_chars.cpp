#include "crash/delivery/escape_chars.h"

namespace qor {

std::string EscapeChars(std::string_view text, const CharSet& set, char escape) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    if (!InSet(set, c)) {
      escaped.push_back(c);
      continue;
    }
    const auto code = static_cast<unsigned char>(c);
    escaped.push_back(escape);
    escaped.push_back(kDigits[code >> 4]);
    escaped.push_back(kDigits[code & 15]);
  }
  return escaped;
}

CharSet NonAlphanumericChars() {
  CharSet set;
  set.set();
  for (char c = '0'; c <= '9'; ++c) set.reset(static_cast<unsigned char>(c));
  for (char c = 'A'; c <= 'Z'; ++c) set.reset(static_cast<unsigned char>(c));
  for (char c = 'a'; c <= 'z'; ++c) set.reset(static_cast<unsigned char>(c));
  return set;
}

CharSet MailtoEscapeChars() {
  // "&" and "=" separate the URL's fields: unescaped, a report holding them
  // would be cut short or split into fields by the mail program.
  return MakeCharSet("\n\r \"#%&+<=>?");
}

}  // namespace qor
