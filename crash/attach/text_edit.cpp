#include "crash/attach/text_edit.h"

#include <algorithm>
#include <cstdlib>

#include "crash/attach/text_search.h"

namespace qor {

void TrimBlanks(std::string& text) {
  const auto first = std::find_if_not(text.begin(), text.end(), IsBlank);
  const auto last = std::find_if_not(text.rbegin(), text.rend(), IsBlank).base();
  if (first >= last) {
    text.clear();
    return;
  }
  text.erase(last, text.end());
  text.erase(text.begin(), first);
}

std::string TrimmedBlanks(std::string_view text) {
  std::string copy(text);
  TrimBlanks(copy);
  return copy;
}

bool RemoveChars(std::string& text, const CharSet& set) {
  const auto kept = std::remove_if(text.begin(), text.end(), [&](char c) { return InSet(set, c); });
  if (kept == text.end()) return false;
  text.erase(kept, text.end());
  return true;
}

bool ReplaceAll(std::string& text, std::string_view find, std::string_view replacement,
                bool ignore_case, bool rescan) {
  if (find.empty()) return false;
  const bool rescan_terminates =
      !rescan || replacement.size() < 2 ||
      FindSubText(find, replacement, 2, replacement.size(), ignore_case) == 0;
  const size_t step_into = rescan && rescan_terminates ? 1 : replacement.size();
  bool replaced = false;
  size_t pos = 1;
  while (pos <= text.size()) {
    const size_t hit = FindSubText(find, text, pos, text.size(), ignore_case);
    if (hit == 0) break;
    text.replace(hit - 1, find.size(), replacement);
    replaced = true;
    pos = hit + step_into;
  }
  return replaced;
}

void PadText(std::string& text, int width, char fill) {
  const size_t target = static_cast<size_t>(std::abs(static_cast<long long>(width)));
  if (text.size() >= target) return;
  const size_t count = target - text.size();
  if (width < 0) {
    text.append(count, fill);
  } else if (fill >= '0' && fill <= '9' && !text.empty() && text[0] == '-') {
    text.insert(1, count, fill);
  } else {
    text.insert(0, count, fill);
  }
}

std::string WidenLatin1(std::string_view text, bool add_terminator) {
  std::string wide;
  wide.reserve(2 * text.size() + 2);
  for (char c : text) {
    wide.push_back(c);
    wide.push_back('\0');
  }
  if (add_terminator) wide.append(2, '\0');
  return wide;
}

}  // namespace qor
