#include "crash/core/duration_text.h"

namespace qor {
namespace {

void AppendUnit(std::string& text, int64_t count, const char* unit) {
  if (count == 0) return;
  text += std::to_string(count) + " " + unit + (count == 1 ? " " : "s ");
}

}  // namespace

std::string DurationText(int64_t seconds) {
  const int64_t days = seconds / 86400;
  const int64_t hours = seconds / 3600 % 24;
  const int64_t minutes = seconds / 60 % 60;
  std::string text;
  if (days > 0) {
    AppendUnit(text, days, "day");
    AppendUnit(text, hours, "hour");
  } else if (hours > 0) {
    AppendUnit(text, hours, "hour");
    AppendUnit(text, minutes, "minute");
  } else {
    AppendUnit(text, minutes, "minute");
    AppendUnit(text, seconds % 60, "second");
  }
  return text;
}

std::string UpTimeText(int64_t milliseconds) {
  std::string text = DurationText(milliseconds / 1000);
  if (text.empty()) text = std::to_string(milliseconds) + " milliseconds";
  return text;
}

}  // namespace qor
