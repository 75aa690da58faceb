#include "crash/attach/text_search.h"

#include "crash/attach/case_compare.h"

namespace qor {
namespace {

bool MatchesAt(std::string_view sub, std::string_view text, size_t index, bool ignore_case) {
  if (ignore_case) {
    for (size_t i = 0; i < sub.size(); ++i) {
      if (!SameCharNoCase(sub[i], text[index + i])) return false;
    }
    return true;
  }
  return text.compare(index, sub.size(), sub) == 0;
}

// Walks the 1-based positions from `from` to `to` (either direction) that
// lie within [1, last] and returns the first for which `hit` is true.
template <typename Hit>
size_t Scan(size_t from, size_t to, size_t last, Hit hit) {
  if (from == 0 || to == 0 || last == 0) return 0;
  if (from <= to) {
    for (size_t pos = from; pos <= to && pos <= last; ++pos) {
      if (hit(pos - 1)) return pos;
    }
    return 0;
  }
  if (to > last) return 0;
  for (size_t pos = from < last ? from : last; pos >= to; --pos) {
    if (hit(pos - 1)) return pos;
  }
  return 0;
}

}  // namespace

size_t FindSubText(std::string_view sub, std::string_view text, size_t from, size_t to,
                   bool ignore_case) {
  if (sub.empty() || sub.size() > text.size()) return 0;
  const size_t last_start = text.size() - sub.size() + 1;
  return Scan(from, to, last_start,
              [&](size_t index) { return MatchesAt(sub, text, index, ignore_case); });
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return FindSubText(prefix, text, 1, 1, true) == 1;
}

size_t FindCharOf(const CharSet& set, std::string_view text, size_t from, size_t to) {
  return Scan(from, to, text.size(), [&](size_t index) { return InSet(set, text[index]); });
}

}  // namespace qor
