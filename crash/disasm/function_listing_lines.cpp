#include "crash/disasm/function_listing_lines.h"

#include <cstdio>

#include "crash/disasm/disasm_text.h"

namespace qor {
namespace {

constexpr size_t kPrefix = 9;  // the address and one blank

std::string Hex8(uint32_t value) {
  char buffer[12];
  std::snprintf(buffer, sizeof buffer, "%08x", value);
  return buffer;
}

int LineOf(uint32_t address, uint32_t& start, uint32_t& end, int32_t& cached) {
  if (!(address >= start && address <= end && cached > 0)) {
    cached = 0;
    line_hook(address, cached, start, end);
  }
  return cached;
}

size_t Digits(int64_t value) {
  size_t digits = 1;
  while (value >= 10) {
    value /= 10;
    ++digits;
  }
  return digits;
}

}  // namespace

void ListingLines::Add(uint32_t address, const std::string& body) {
  lines_.push_back(Line{Hex8(address) + " " + body, address, true, false});
}

void ListingLines::AddInstruction(uint32_t address, const std::string& text) {
  size_t from = 0;
  for (uint32_t at = address;; ++at) {
    const size_t end = text.find("\r\n", from);
    lines_.push_back(Line{text.substr(from, end - from), at, true, true});
    if (end == std::string::npos) break;
    from = end + 2;
  }
}

size_t ListingLines::MarkedLine(uint32_t mark) const {
  for (size_t i = 0; i < lines_.size(); ++i)
    if (lines_[i].instruction && lines_[i].address == mark) return i;
  return lines_.size();
}

void ListingLines::Finish(uint32_t last_byte, uint32_t mark) {
  const size_t marked = MarkedLine(mark);
  if (marked < lines_.size() && lines_[marked].text.size() > kPrefix)
    lines_[marked].text[kPrefix] = '>';
  if (!line_hook) return;
  uint32_t start = 1, end = 0;
  int32_t cached = 0;
  int64_t widest = LineOf(last_byte, start, end, cached);
  if (widest <= 0) widest = int64_t{LineOf(mark, start, end, cached)} * 10;
  if (widest <= 0) return;
  const size_t width = Digits(widest);
  int32_t previous = 0;
  start = 1, end = 0, cached = 0;
  for (Line& line : lines_) {
    if (!line.has_address || line.text.size() < kPrefix) continue;
    const int32_t number = LineOf(line.address, start, end, cached);
    std::string column(width + 1, ' ');
    if (number > 0 && number != previous) {
      char digits[16];
      std::snprintf(digits, sizeof digits, "%0*d ", static_cast<int>(width), number);
      column = digits;
      previous = number;
    }
    line.text.insert(kPrefix, column);
  }
}

std::string ListingLines::Text(uint32_t mark, int32_t limit) const {
  size_t first = 0, last = lines_.size();
  bool cut_before = false, cut_after = false;
  if (limit > 0) {
    const size_t marked = MarkedLine(mark);
    const size_t keep = static_cast<size_t>(limit);
    if (marked < lines_.size()) {
      if (marked > keep * 12 / 10) {
        first = marked - keep;
        cut_before = true;
      }
      if (lines_.size() - marked - 1 > keep) {
        last = marked + 1 + keep;
        cut_after = true;
      }
    } else if (lines_.size() > keep) {
      last = keep;
      cut_after = true;
    }
  }
  std::string text = cut_before ? "[...]\r\n" : "";
  for (size_t i = first; i < last; ++i) {
    text += lines_[i].text;
    if (i + 1 < last) text += "\r\n";
  }
  if (cut_after) text += "\r\n[...]";
  return text;
}

}  // namespace qor
