#include "crash/core/settings.h"

#include <utility>

#include "crash/attach/text_search.h"

namespace qor {

bool AutoActionDue(int32_t value, const TExceptTimes& times, uint64_t now) {
  if (value == 0) return false;
  if (value == 1) return true;
  const int64_t window = static_cast<uint32_t>(value);
  for (uint64_t time : times) {
    if (time == 0) return false;
    if (static_cast<int64_t>(now - time) > window) return false;
  }
  return true;
}

int ScreenShotModeOf(int32_t setting) {
  if (setting <= 0) return -1;
  switch (setting) {
    case 4: return 1;
    case 51200: return 2;
    case 102400: return 3;
    case 307200: return 4;
    case 409600: return 5;
    default: return 0;
  }
}

std::string ExpandPlaceholders(std::string_view text, std::string_view app_name,
                               std::string_view except_message) {
  const std::pair<std::string_view, std::string_view> placeholders[] = {
      {"%appname%", app_name}, {"%exceptMsg%", except_message}, {"%LF%", "\r\n"}};
  // One pass, so that inserted text (a message holding "%LF%") stays as it is.
  std::string result;
  size_t at = 0;
  while (at < text.size()) {
    bool replaced = false;
    if (text[at] == '%') {
      for (const auto& [name, value] : placeholders) {
        if (StartsWithNoCase(text.substr(at), name)) {
          result += value;
          at += name.size();
          replaced = true;
          break;
        }
      }
    }
    if (!replaced) result += text[at++];
  }
  return result;
}

std::string AppNameOf(std::string_view path, bool with_extension) {
  const size_t slash = path.find_last_of("\\/:");
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  if (!with_extension) {
    const size_t dot = name.rfind('.');
    if (dot != std::string_view::npos) name = name.substr(0, dot);
  }
  return std::string(name);
}

}  // namespace qor
