#include "crash/delivery/dns_servers.h"

namespace qor {
namespace {

constexpr uint32_t kPlatformNt = 2;

}  // namespace

bool NameServersInRegistry(uint32_t platform_id, uint32_t major, uint32_t minor) {
  if (platform_id == kPlatformNt) return major <= 4;
  return major == 4 && minor < 10;
}

std::vector<std::string> SplitNameServerText(std::string_view text) {
  if (text.empty()) return {};
  const char separator = text.find(',') != std::string_view::npos ? ',' : ' ';
  std::vector<std::string> items;
  size_t start = 0;
  while (true) {
    const size_t end = text.find(separator, start);
    items.emplace_back(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return items;
    start = end + 1;
  }
}

}  // namespace qor
