#include "engine/hardware_ids.h"

#include <algorithm>

namespace engine {
namespace {

std::string UpperCased(DevicePlatform& platform, std::string text) {
  if (!text.empty()) platform.CharUpperBuffA(text.data(), static_cast<uint32_t>(text.size()));
  return text;
}

// Byte width of one character, as the multi-string walk steps it: 1 outside
// Far East locales, else the width of the buffer's first character. Never 0,
// which CharNextA reports for an empty text and which would stall the walk.
int64_t CharacterWidth(DevicePlatform& platform, const uint8_t* buffer) {
  if (platform.GetSystemMetrics(kSmDbcsEnabled) == 0) return 1;
  const char* first = reinterpret_cast<const char*>(buffer);
  return std::max<int64_t>(1, platform.CharNextA(first) - first);
}

}  // namespace

bool TextContainsId(DevicePlatform& platform, const std::string& entry, const std::string& id) {
  return UpperCased(platform, entry).find(UpperCased(platform, id)) != std::string::npos;
}

bool HardwareIdsContain(DevicePlatform& platform, const std::vector<std::string>& entries,
                        const std::string& id) {
  return std::any_of(entries.begin(), entries.end(), [&](const std::string& entry) {
    return TextContainsId(platform, entry, id);
  });
}

void SplitMultiString(DevicePlatform& platform, const uint8_t* buffer, int64_t size,
                      std::vector<std::string>& list) {
  if (size <= 0 || buffer == nullptr) return;
  const int64_t width = CharacterWidth(platform, buffer);
  for (int64_t offset = 0; offset < size - width;) {
    const char* text = reinterpret_cast<const char*>(buffer + offset);
    const int64_t length = std::find(text, text + (size - offset), '\0') - text;
    list.emplace_back(text, static_cast<size_t>(length));
    offset += length * width + width;
  }
}

}  // namespace engine
