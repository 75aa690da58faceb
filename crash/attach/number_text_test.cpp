#include "crash/attach/number_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

namespace qor {
namespace {

TEST(FormatDecimal, SignAndPadding) {
  EXPECT_EQ(FormatDecimal(7, 2, '0'), "07");
  EXPECT_EQ(FormatDecimal(7, 1, '0'), "7");
  EXPECT_EQ(FormatDecimal(-7, 3, '0'), "-07");
  EXPECT_EQ(FormatDecimal(-7, 4, ' '), "  -7");
  EXPECT_EQ(FormatDecimal(0), "0");
  EXPECT_EQ(FormatDecimal(INT32_MIN), "-2147483648");
  EXPECT_EQ(FormatDecimal64(INT64_MIN), "-9223372036854775808");
  EXPECT_EQ(FormatDecimal64(1234567890123LL, -15, '.'), "1234567890123..");
}

TEST(FormatHex, PaddingRules) {
  struct Case {
    uint32_t value;
    int width;
    char fill;
    const char* want;
  } const cases[] = {
      {0, 1, '0', "$0"},
      {0, 0, ' ', "$0"},
      {31, 8, '0', "$0000001f"},    // digit fill pads the digits
      {31, 8, ' ', "      $1f"},    // other fill pads the whole to width + 1
      {31, -8, ' ', "$1f      "},   // negative width pads the digits on the right
      {31, 8, 'a', "$aaaaaa1f"},
      {0xDEADBEEF, 4, '0', "$deadbeef"},
      {0xDEADBEEF, 2, ' ', "$deadbeef"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatHex(c.value, c.width, c.fill), c.want) << c.value << " " << c.width;
  }
}

TEST(FormatHex, SixtyFourBitKeepsLowHalfDigits) {
  EXPECT_EQ(FormatHex64(0x1F), "$1f");
  EXPECT_EQ(FormatHex64(0x100000002ULL), "$100000002");
  EXPECT_EQ(FormatHex64(0xABC00000000ULL, 12, '0'), "$0abc00000000");
  EXPECT_EQ(FormatHex64(UINT64_MAX), "$ffffffffffffffff");
}

TEST(ParseNumber, NoValidation) {
  struct Case {
    bool hex;
    const char* text;
    int32_t want;
  } const cases[] = {
      {false, "123", 123},   {false, "-123", -123}, {true, "ff", 255},     {true, "-1F", -31},
      {false, "1a", 20},     {true, "1g", 16},      {false, "1-2", 102},   {false, "", 0},
      {false, "4294967297", 1},  // wraps at 32 bits
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseNumber(c.hex, c.text, std::strlen(c.text)), c.want) << c.text;
  }
  EXPECT_EQ(ParseNumber(false, "1234", 2), 12);
}

TEST(FormatByteSize, UnitsAndTruncation) {
  struct Case {
    int64_t bytes;
    const char* want;
  } const cases[] = {
      {0, "0 Bytes"},
      {1023, "1023 Bytes"},
      {1024, "1.00 KB"},
      {1536, "1.50 KB"},
      {1048575, "1023.99 KB"},
      {1048576, "1.00 MB"},
      {1073741823, "1023.99 MB"},
      {1073741824, "1.00 GB"},
      {3LL * 1073741824 + 536870912, "3.50 GB"},
      {-1536, "1.50 KB"},
      {INT64_MIN, "8589934592.00 GB"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatByteSize(c.bytes, '.'), c.want) << c.bytes;
  EXPECT_EQ(FormatByteSize(1536, ','), "1,50 KB");
}

}  // namespace
}  // namespace qor
