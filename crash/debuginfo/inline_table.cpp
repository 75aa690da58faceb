#include "crash/debuginfo/inline_table.h"

#include <algorithm>

namespace qor {

// Names repeat from range to range; the last few are checked before a text
// is stored again.
uint32_t InlineTable::Intern(const std::string& text) {
  constexpr size_t kRecent = 16;
  const size_t from = texts_.size() > kRecent ? texts_.size() - kRecent : 0;
  for (size_t i = texts_.size(); i-- > from;) {
    if (texts_[i] == text) return static_cast<uint32_t>(i);
  }
  texts_.push_back(text);
  return static_cast<uint32_t>(texts_.size() - 1);
}

void InlineTable::Add(uint32_t start, const std::vector<InlineFrame>& frames) {
  if (!ranges_.empty() && start <= ranges_.back().start) return;
  ranges_.push_back({start, static_cast<uint32_t>(levels_.size()),
                     static_cast<uint32_t>(frames.size())});
  for (const InlineFrame& frame : frames) {
    levels_.push_back({Intern(frame.function), Intern(frame.unit), frame.line});
  }
}

std::vector<InlineFrame> InlineTable::At(uint32_t address) const {
  const auto after = std::upper_bound(ranges_.begin(), ranges_.end(), address,
                                      [](uint32_t at, const Range& r) { return at < r.start; });
  if (after == ranges_.begin()) return {};
  const Range& range = *(after - 1);
  std::vector<InlineFrame> frames;
  for (uint32_t i = range.first; i < range.first + range.count; ++i) {
    const Level& level = levels_[i];
    frames.push_back({texts_[level.function], texts_[level.unit], level.line});
  }
  return frames;
}

void InlineTable::Clear() {
  texts_.clear();
  levels_.clear();
  ranges_.clear();
}

}  // namespace qor
