#include "crash/attach/number_text.h"

#include <algorithm>
#include <utility>

#include "crash/attach/text_edit.h"

namespace qor {
namespace {

// Decimal digits of a magnitude, most significant first.
std::string DecimalDigits(uint64_t magnitude) {
  char buffer[20];
  size_t n = 0;
  do {
    buffer[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  std::string digits(buffer, n);
  std::reverse(digits.begin(), digits.end());
  return digits;
}

std::string HexDigits(uint64_t value, size_t min_digits) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string digits;
  do {
    digits.insert(digits.begin(), kDigits[value & 15]);
    value >>= 4;
  } while (value != 0);
  if (digits.size() < min_digits) digits.insert(0, min_digits - digits.size(), '0');
  return digits;
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

std::string PadHex(std::string digits, int width, char fill) {
  if (IsHexDigit(fill) || width < 0) {
    PadText(digits, width, fill);
    return "$" + digits;
  }
  std::string text = "$" + digits;
  PadText(text, width + 1, fill);
  return text;
}

}  // namespace

std::string FormatDecimal64(int64_t value, int width, char fill) {
  // Negating in unsigned arithmetic keeps the most negative value exact.
  const uint64_t magnitude =
      value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  std::string text = DecimalDigits(magnitude);
  if (value < 0) text.insert(text.begin(), '-');
  PadText(text, width, fill);
  return text;
}

std::string FormatDecimal(int32_t value, int width, char fill) {
  return FormatDecimal64(value, width, fill);
}

std::string FormatHex(uint32_t value, int width, char fill) {
  return PadHex(HexDigits(value, 0), width, fill);
}

std::string FormatHex64(uint64_t value, int width, char fill) {
  const auto high = static_cast<uint32_t>(value >> 32);
  const auto low = static_cast<uint32_t>(value);
  std::string digits = high != 0 ? HexDigits(high, 0) + HexDigits(low, 8) : HexDigits(low, 0);
  return PadHex(std::move(digits), width, fill);
}

int32_t ParseNumber(bool is_hex, const char* chars, size_t count) {
  const uint32_t base = is_hex ? 16 : 10;
  uint32_t value = 0;
  bool negative = false;
  for (size_t i = 0; i < count; ++i) {
    if (i == 0 && chars[i] == '-') {
      negative = true;
      continue;
    }
    value = value * base + static_cast<uint32_t>(DigitValue(chars[i]));
  }
  if (negative) value = 0 - value;
  return static_cast<int32_t>(value);
}

std::string FormatByteSize(int64_t bytes, char decimal_char) {
  const uint64_t v = bytes < 0 ? 0 - static_cast<uint64_t>(bytes) : static_cast<uint64_t>(bytes);
  if (v < 1024) return DecimalDigits(v) + " Bytes";
  uint64_t hundredths;
  const char* suffix;
  if (v < 1048576) {
    hundredths = v * 100 / 1024;
    suffix = " KB";
  } else if (v < 1073741824) {
    hundredths = (v / 1024) * 100 / 1024;
    suffix = " MB";
  } else {
    hundredths = ((v / 1024) / 1024) * 100 / 1024;
    suffix = " GB";
  }
  std::string text = DecimalDigits(hundredths);
  text.insert(text.size() - 2, 1, decimal_char);
  return text + suffix;
}

}  // namespace qor
