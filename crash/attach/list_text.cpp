#include "crash/attach/list_text.h"

#include <algorithm>
#include <utility>

#include "crash/attach/case_compare.h"
#include "crash/attach/text_edit.h"

namespace qor {

void TidyList(std::string& list, char delimiter) {
  const auto is_content = [&](char c) { return !IsBlank(c) && c != delimiter; };
  const auto first = std::find_if(list.begin(), list.end(), is_content);
  if (first == list.end()) {
    list.clear();
    return;
  }
  const auto last = std::find_if(list.rbegin(), list.rend(), is_content).base();
  std::string tidy;
  tidy.reserve(static_cast<size_t>(last - first));
  for (auto it = first; it != last;) {
    if (*it != delimiter) {
      tidy.push_back(*it++);
      continue;
    }
    // Blanks before the delimiter go, and so does everything up to the next
    // content byte behind it: blanks and further delimiters alike.
    while (IsBlank(tidy.back())) tidy.pop_back();
    tidy.push_back(delimiter);
    it = std::find_if(it, last, is_content);
  }
  list = std::move(tidy);
}

size_t ListCount(std::string_view list, char delimiter) {
  if (list.empty()) return 0;
  return 1 + static_cast<size_t>(std::count(list.begin(), list.end(), delimiter));
}

std::string ListItem(std::string_view list, size_t index, char delimiter) {
  if (index == 0 || list.empty()) return {};
  size_t start = 0;
  for (size_t n = 1; n < index; ++n) {
    const size_t next = list.find(delimiter, start);
    if (next == std::string_view::npos) return {};
    start = next + 1;
  }
  const size_t end = list.find(delimiter, start);
  return std::string(list.substr(start, end == std::string_view::npos ? end : end - start));
}

bool ListContains(std::string_view list, std::string_view item, char delimiter) {
  if (list.empty()) return false;
  size_t start = 0;
  while (true) {
    const size_t end = list.find(delimiter, start);
    const std::string_view current =
        list.substr(start, end == std::string_view::npos ? end : end - start);
    if (EqualNoCase(current, item)) return true;
    if (end == std::string_view::npos) return false;
    start = end + 1;
  }
}

}  // namespace qor
