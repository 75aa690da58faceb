// List texts and searching: byte 0 picks the delimiter, byte 1 the length of
// the search text, the rest is split into search text and text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "crash/attach/list_text.h"
#include "crash/attach/text_edit.h"
#include "crash/attach/text_search.h"

namespace {

void CheckList(std::string list, char delimiter) {
  qor::TidyList(list, delimiter);
  if (list.empty()) return;
  if (qor::IsBlank(list.front()) || qor::IsBlank(list.back()) || list.front() == delimiter ||
      list.back() == delimiter) {
    std::abort();
  }
  const size_t count = qor::ListCount(list, delimiter);
  for (size_t i = 1; i <= count; ++i) {
    const std::string item = qor::ListItem(list, i, delimiter);
    if (item.empty() || !qor::ListContains(list, item, delimiter)) std::abort();
  }
  if (!qor::ListItem(list, count + 1, delimiter).empty()) std::abort();
}

void CheckSearch(const std::string& sub, const std::string& text) {
  const size_t first = qor::FindSubText(sub, text, 1, text.size(), false);
  const size_t last = qor::FindSubText(sub, text, text.size(), 1, false);
  const size_t want_first = sub.empty() ? std::string::npos : text.find(sub);
  const size_t want_last = sub.empty() ? std::string::npos : text.rfind(sub);
  if (first != (want_first == std::string::npos ? 0 : want_first + 1)) std::abort();
  if (last != (want_last == std::string::npos ? 0 : want_last + 1)) std::abort();
  if (first != 0 && qor::FindSubText(sub, text, first, text.size(), true) != first) std::abort();
}

void CheckReplace(const std::string& sub, const std::string& text) {
  // The replacement is the search text doubled, the case that would make a
  // rescan run forever if it were not guarded.
  for (bool rescan : {false, true}) {
    std::string edited = text;
    const bool replaced = qor::ReplaceAll(edited, sub, sub + sub, true, rescan);
    if (replaced != (qor::FindSubText(sub, text, 1, text.size(), true) != 0)) std::abort();
    if (edited.size() > 2 * text.size()) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const char delimiter = static_cast<char>(data[0]);
  const size_t sub_size = data[1] % 16;
  if (size < 2 + sub_size) return 0;
  const std::string sub(reinterpret_cast<const char*>(data + 2), sub_size);
  const std::string text(reinterpret_cast<const char*>(data + 2 + sub_size), size - 2 - sub_size);
  CheckList(text, delimiter);
  CheckSearch(sub, text);
  CheckReplace(sub, text);
  return 0;
}
