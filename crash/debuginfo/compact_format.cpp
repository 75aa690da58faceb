#include "crash/debuginfo/compact_format.h"

#include <cstdio>
#include <cstring>

#include "crash/attach/blowfish_modes.h"

namespace qor {
namespace {

// Part of the payload key; changing it makes every existing file unreadable.
constexpr std::string_view kKeyWord = "Tundra";

uint32_t LoadLe32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

}  // namespace

bool ParseCompactHeader(std::span<const uint8_t> data, CompactHeader& header) {
  if (data.size() < kCompactMinimumSize) return false;
  if (std::memcmp(data.data(), kCompactSignature.data(), kCompactSignature.size()) != 0) {
    return false;
  }
  header = CompactHeader{};
  header.payload_length = LoadLe32(data.data() + 14);
  header.version = LoadLe32(data.data() + 18);
  if (header.version == 2) {
    header.payload_offset = 22;
  } else if (header.version == 3) {
    if (data.size() < 34) return false;
    header.key_a = LoadLe32(data.data() + 22);
    header.key_b = LoadLe32(data.data() + 26);
    header.flags = LoadLe32(data.data() + 30);
    header.payload_offset = 34;
  } else {
    return false;
  }
  return header.payload_length <= data.size() - header.payload_offset;
}

std::string CompactPayloadKey(uint32_t payload_length) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*s$%07X%.*s%08u", static_cast<int>(kKeyWord.size()),
                kKeyWord.data(), payload_length, static_cast<int>(kKeyWord.size()),
                kKeyWord.data(), payload_length);
  std::string key = std::string(text) + text;
  const std::string self = key;
  LegacyEncrypt(key, self);
  return key;
}

std::string CompactFileKey(uint32_t file_length, uint32_t key_a, uint32_t key_b) {
  char text[40];
  std::snprintf(text, sizeof text, "$%08x, $%08x, $%08x", file_length, key_a, key_b);
  return text;
}

}  // namespace qor
