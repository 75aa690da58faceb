// The cipher and its modes against the published test vectors and round trips.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crash/attach/blowfish.h"
#include "crash/attach/blowfish_modes.h"

namespace qor {
namespace {

std::string FromHex(const char* hex) {
  std::string bytes;
  for (; hex[0] != '\0' && hex[1] != '\0'; hex += 2) {
    bytes.push_back(static_cast<char>(std::stoi(std::string(hex, 2), nullptr, 16)));
  }
  return bytes;
}

std::string ToHex(const std::string& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (unsigned char c : bytes) {
    hex.push_back(kDigits[c >> 4]);
    hex.push_back(kDigits[c & 15]);
  }
  return hex;
}

uint8_t* Data(std::string& s) { return reinterpret_cast<uint8_t*>(s.data()); }

// Key, plain text, cipher text of the cipher's published 8-byte-key vectors.
const char* const kVectors[][3] = {
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
    {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
    {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
    {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
    {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
};

TEST(Blowfish, PublishedVectorsInStandardMode) {
  for (const auto& v : kVectors) {
    SCOPED_TRACE(v[0]);
    std::string block = FromHex(v[1]);
    ASSERT_TRUE(BlowfishCrypt(Data(block), block.size(), true, false, 0, 0, FromHex(v[0])));
    EXPECT_EQ(ToHex(block), v[2]);
    ASSERT_TRUE(BlowfishCrypt(Data(block), block.size(), false, false, 0, 0, FromHex(v[0])));
    EXPECT_EQ(ToHex(block), v[1]);
  }
}

TEST(Blowfish, EmptyKeyIsRefused) {
  Blowfish cipher;
  EXPECT_FALSE(cipher.Initialize(""));
  std::string text = "12345678abcdefgh";
  const std::string before = text;
  EXPECT_FALSE(BlowfishCrypt(Data(text), text.size(), true, false, 0, 0, ""));
  EXPECT_FALSE(BlowfishCrypt(Data(text), text.size(), true, false, 1, 2, ""));
  EXPECT_FALSE(LegacyEncrypt(text, ""));
  EXPECT_FALSE(DecryptText(text, "", 0, 0));
  EXPECT_FALSE(EncryptText(text, "", 0, 0));
  EXPECT_EQ(text, before);
}

TEST(Blowfish, OnlyTheFirst72KeyBytesCount) {
  std::string key;
  for (int i = 0; i < 72; ++i) key.push_back(static_cast<char>('a' + i % 26));
  std::string a = "8 bytes!", b = a, c = a;
  BlowfishCrypt(Data(a), 8, true, false, 0, 0, key);
  BlowfishCrypt(Data(b), 8, true, false, 0, 0, key + "tail");
  BlowfishCrypt(Data(c), 8, true, false, 0, 0, key.substr(0, 71));
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
}

TEST(Blowfish, LegacyModeSwapsWordsAndByteOrder) {
  // Legacy mode reads the block as two little-endian words, right half
  // first, so it equals standard mode on the block with its words reversed.
  const std::string key = FromHex("FEDCBA9876543210");
  std::string legacy = FromHex("EFCDAB8967452301");
  ASSERT_TRUE(LegacyEncrypt(legacy, key));
  EXPECT_EQ(ToHex(legacy), "8DA2A0C60FABCE0A");
  ASSERT_TRUE(LegacyDecrypt(legacy, key));
  EXPECT_EQ(ToHex(legacy), "EFCDAB8967452301");
}

TEST(Blowfish, TailShorterThanABlockStaysAsItIs) {
  const std::string plain = "0123456789abcdefTAIL5";
  for (bool legacy : {false, true}) {
    std::string text = plain;
    BlowfishCrypt(Data(text), text.size(), true, legacy, 0, 0, "key");
    EXPECT_NE(text.substr(0, 16), plain.substr(0, 16));
    EXPECT_EQ(text.substr(16), "TAIL5");
    BlowfishCrypt(Data(text), text.size(), false, legacy, 0, 0, "key");
    EXPECT_EQ(text, plain);
  }
}

TEST(Blowfish, CounterModeIsItsOwnInverse) {
  const std::string plain = "a text of three blocks, nearly.";
  std::string text = plain;
  BlowfishCrypt(Data(text), text.size(), true, false, 0x01020304, 0xFFFFFFFF, "server");
  EXPECT_NE(text.substr(0, 24), plain.substr(0, 24));
  EXPECT_EQ(text.substr(24), plain.substr(24));
  // The direction flag does not matter in counter mode.
  BlowfishCrypt(Data(text), text.size(), false, false, 0x01020304, 0xFFFFFFFF, "server");
  EXPECT_EQ(text, plain);
}

TEST(Blowfish, CounterIsIncrementedBigEndianBeforeEachBlock) {
  // The counter's bytes are high (little-endian) then low (little-endian);
  // the first block uses that string plus one, read as two big-endian words.
  // High 1 and low 0xFFFFFFFF give 01 00 00 00 FF FF FF FF; plus one
  // carries into the high half: 01 00 00 01 00 00 00 00, then ... 01.
  std::string zeros(16, '\0');
  BlowfishCrypt(Data(zeros), zeros.size(), true, false, 0x00000001, 0xFFFFFFFF, "k");
  std::string expected = FromHex("0100000100000000" "0100000100000001");
  BlowfishCrypt(Data(expected), expected.size(), true, false, 0, 0, "k");
  EXPECT_EQ(ToHex(zeros), ToHex(expected));
}

TEST(DecryptText, PaddingRules) {
  struct Case {
    std::string plain;
    std::string want;
  } const cases[] = {
      {"abcde\x03\x03\x03", "abcde"},
      {"abcdef\x02\x03", "abcdef\x02\x03"},
      {"abcdefg\x01", "abcdefg"},
      {std::string("\x08\x08\x08\x08\x08\x08\x08\x08"), ""},
      {"abcdefg\x09", "abcdefg\x09"},
      {"abcdefgh", "abcdefgh"},
  };
  for (const Case& c : cases) {
    std::string text = c.plain;
    BlowfishCrypt(Data(text), text.size(), true, false, 0, 0, "pad key");
    ASSERT_TRUE(DecryptText(text, "pad key", 0, 0));
    EXPECT_EQ(text, c.want) << ToHex(c.plain);
  }
  std::string empty;
  EXPECT_TRUE(DecryptText(empty, "k", 0, 0));
  EXPECT_EQ(empty, "");
}

TEST(DecryptText, ThirteenBytesKeepTheirTailThenLoseValidPadding) {
  // The last 5 bytes are not a whole block: they stay, and the padding rule
  // then sees the last byte as it was given.
  std::string text = "8 bytes!\x02\x02\x03\x03\x03";
  BlowfishCrypt(Data(text), 8, true, false, 0, 0, "k13");
  ASSERT_TRUE(DecryptText(text, "k13", 0, 0));
  EXPECT_EQ(text, "8 bytes!\x02\x02");
}

TEST(EncryptText, RoundTripsThroughDecryptText) {
  for (size_t length = 0; length <= 17; ++length) {
    const std::string plain(length, static_cast<char>('a' + length));
    for (uint32_t low : {0u, 5u}) {
      std::string text = plain;
      ASSERT_TRUE(EncryptText(text, "round", 0, low));
      EXPECT_EQ(text.size() % 8, 0u);
      EXPECT_GT(text.size(), plain.size());
      ASSERT_TRUE(DecryptText(text, "round", 0, low));
      EXPECT_EQ(text, plain) << length << " " << low;
    }
  }
}

}  // namespace
}  // namespace qor
