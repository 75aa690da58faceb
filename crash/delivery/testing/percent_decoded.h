// Reads back the "%" escapes of a mailto URL, for checking what a mail
// program receives.
#pragma once

#include <string>
#include <string_view>

namespace qor::testing {

inline std::string PercentDecoded(std::string_view text) {
  std::string plain;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      plain.push_back(static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16)));
      i += 2;
    } else {
      plain.push_back(text[i]);
    }
  }
  return plain;
}

}  // namespace qor::testing
