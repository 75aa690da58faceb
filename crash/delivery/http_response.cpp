#include "crash/delivery/http_response.h"

#include <algorithm>
#include <array>
#include <vector>

#include "crash/attach/case_compare.h"

namespace qor {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

// A run of 1 to 18 digits (no sign, no overflow); nullopt otherwise.
std::optional<int64_t> Number(std::string_view text) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  int64_t value = 0;
  for (const char c : text) {
    if (!IsDigit(c)) return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

// Days from 1970-01-01 to the given date of the proleptic Gregorian
// calendar (month 1-12).
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t year_of_era = year - era * 400;
  const int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

int DaysInMonth(int64_t year, int64_t month) {
  static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[static_cast<size_t>(month - 1)];
}

int MonthNumber(std::string_view name) {
  static constexpr std::array<std::string_view, 12> kMonths = {
      "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
  for (size_t i = 0; i < kMonths.size(); ++i) {
    if (EqualNoCase(name, kMonths[i])) return static_cast<int>(i) + 1;
  }
  return 0;
}

// "hh:mm:ss" as seconds of the day.
std::optional<int64_t> TimeOfDay(std::string_view text) {
  if (text.size() != 8 || text[2] != ':' || text[5] != ':') return std::nullopt;
  const auto hours = Number(text.substr(0, 2));
  const auto minutes = Number(text.substr(3, 2));
  const auto seconds = Number(text.substr(6, 2));
  if (!hours || !minutes || !seconds || *hours > 23 || *minutes > 59 || *seconds > 60) {
    return std::nullopt;
  }
  return *hours * 3600 + *minutes * 60 + *seconds;
}

std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = text.find_first_of(" ,-", at);
    const size_t stop = end == std::string_view::npos ? text.size() : end;
    if (stop > at) words.push_back(text.substr(at, stop - at));
    at = stop + 1;
  }
  return words;
}

}  // namespace

std::optional<HttpResponseHead> ParseResponseHead(std::string_view head) {
  HttpResponseHead parsed;
  bool first = true;
  while (!head.empty()) {
    const size_t end = head.find('\n');
    std::string_view line = head.substr(0, end);
    head = end == std::string_view::npos ? std::string_view() : head.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (first) {
      // "HTTP/1.1 200 OK": the code is the three digits after the first space.
      if (line.size() < 12 || line.substr(0, 5) != "HTTP/") return std::nullopt;
      const size_t space = line.find(' ');
      if (space == std::string_view::npos || line.size() < space + 4) return std::nullopt;
      const auto code = Number(line.substr(space + 1, 3));
      if (!code || *code < 100 || (line.size() > space + 4 && line[space + 4] != ' ')) {
        return std::nullopt;
      }
      parsed.status = static_cast<int>(*code);
      first = false;
      continue;
    }
    if (line.empty()) break;
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos || !parsed.retry_after.empty()) continue;
    if (EqualNoCase(Trimmed(line.substr(0, colon)), "retry-after")) {
      parsed.retry_after = std::string(Trimmed(line.substr(colon + 1)));
    }
  }
  if (first) return std::nullopt;
  return parsed;
}

std::optional<int64_t> ParseHttpDate(std::string_view text) {
  // The three forms hold the same five items in different orders: a week
  // day, the day, the month's name, the year and the time (then "GMT").
  std::vector<std::string_view> words = Words(Trimmed(text));
  if (!words.empty() && EqualNoCase(words.back(), "GMT")) words.pop_back();
  if (words.size() != 5) return std::nullopt;
  std::optional<int64_t> day, year, seconds;
  int month = 0;
  if ((month = MonthNumber(words[1])) != 0) {  // asctime: Sun Nov  6 08:49:37 1994
    day = Number(words[2]);
    seconds = TimeOfDay(words[3]);
    if (words[4].size() == 4) year = Number(words[4]);
  } else {  // Sun, 06 Nov 1994 08:49:37 and Sunday, 06-Nov-94 08:49:37
    month = MonthNumber(words[2]);
    if (words[1].size() <= 2) day = Number(words[1]);
    seconds = TimeOfDay(words[4]);
    if (words[3].size() == 4) {
      year = Number(words[3]);
    } else if (words[3].size() == 2 && (year = Number(words[3]))) {
      *year += *year < 70 ? 2000 : 1900;
    }
  }
  if (month == 0 || !day || !year || !seconds || *year < 1970 || *day < 1 ||
      *day > DaysInMonth(*year, month)) {
    return std::nullopt;
  }
  return DaysFromCivil(*year, month, *day) * 86400 + *seconds;
}

std::optional<int64_t> RetryAfterSeconds(std::string_view value, int64_t now) {
  value = Trimmed(value);
  const bool digits =
      !value.empty() && std::all_of(value.begin(), value.end(), [](char c) { return IsDigit(c); });
  // Too many digits for a number: longer than any wait we honour.
  if (digits && value.size() > 18) return kMaxRetryAfterSeconds;
  std::optional<int64_t> wait = Number(value);
  if (!wait) {
    const std::optional<int64_t> date = ParseHttpDate(value);
    if (!date) return std::nullopt;
    wait = std::max<int64_t>(*date - now, 0);
  }
  return std::min(*wait, kMaxRetryAfterSeconds);
}

}  // namespace qor
