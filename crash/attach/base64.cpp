#include "crash/attach/base64.h"

namespace qor {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

std::string Base64Encode(const uint8_t* data, size_t size) {
  std::string out;
  out.reserve((size + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= size; i += 3) {
    const uint32_t group = uint32_t{data[i]} << 16 | uint32_t{data[i + 1]} << 8 | data[i + 2];
    out.push_back(kAlphabet[group >> 18]);
    out.push_back(kAlphabet[(group >> 12) & 63]);
    out.push_back(kAlphabet[(group >> 6) & 63]);
    out.push_back(kAlphabet[group & 63]);
  }
  const size_t rest = size - i;
  if (rest == 0) return out;
  const uint32_t group = uint32_t{data[i]} << 16 | (rest == 2 ? uint32_t{data[i + 1]} << 8 : 0);
  out.push_back(kAlphabet[group >> 18]);
  out.push_back(kAlphabet[(group >> 12) & 63]);
  out.push_back(rest == 2 ? kAlphabet[(group >> 6) & 63] : '=');
  out.push_back('=');
  return out;
}

std::string Base64EncodeText(std::string_view text) {
  return Base64Encode(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

}  // namespace qor
