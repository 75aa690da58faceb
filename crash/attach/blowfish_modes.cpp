#include "crash/attach/blowfish_modes.h"

#include <memory>

#include "crash/attach/blowfish.h"
#include "crash/attach/byte_order.h"

namespace qor {
namespace {

constexpr size_t kBlock = 8;

void IncrementBigEndian(uint8_t (&counter)[kBlock]) {
  for (size_t i = kBlock; i-- > 0;) {
    if (++counter[i] != 0) return;
  }
}

void CounterMode(const Blowfish& cipher, uint8_t* buffer, size_t blocks, uint32_t high,
                 uint32_t low) {
  uint8_t counter[kBlock];
  StoreLe32(counter, high);
  StoreLe32(counter + 4, low);
  for (size_t b = 0; b < blocks; ++b, buffer += kBlock) {
    IncrementBigEndian(counter);
    uint32_t left = LoadBe32(counter);
    uint32_t right = LoadBe32(counter + 4);
    cipher.Encipher(left, right);
    StoreBe32(buffer, LoadBe32(buffer) ^ left);
    StoreBe32(buffer + 4, LoadBe32(buffer + 4) ^ right);
  }
}

void BlockMode(const Blowfish& cipher, uint8_t* buffer, size_t blocks, bool encipher,
               bool legacy) {
  for (size_t b = 0; b < blocks; ++b, buffer += kBlock) {
    uint32_t left = legacy ? LoadLe32(buffer + 4) : LoadBe32(buffer);
    uint32_t right = legacy ? LoadLe32(buffer) : LoadBe32(buffer + 4);
    if (encipher) {
      cipher.Encipher(left, right);
    } else {
      cipher.Decipher(left, right);
    }
    if (legacy) {
      StoreLe32(buffer + 4, left);
      StoreLe32(buffer, right);
    } else {
      StoreBe32(buffer, left);
      StoreBe32(buffer + 4, right);
    }
  }
}

uint8_t* Bytes(std::string& text) { return reinterpret_cast<uint8_t*>(text.data()); }

size_t PaddingLength(std::string_view text) {
  if (text.empty()) return 0;
  const auto n = static_cast<unsigned char>(text.back());
  if (n < 1 || n > kBlock || n > text.size()) return 0;
  for (size_t i = text.size() - n; i < text.size(); ++i) {
    if (static_cast<unsigned char>(text[i]) != n) return 0;
  }
  return n;
}

}  // namespace

bool BlowfishCrypt(uint8_t* buffer, size_t size, bool encipher, bool legacy,
                   uint32_t counter_high, uint32_t counter_low, std::string_view key) {
  // Four kilobytes of state: kept off the stack of a thread that may be
  // failing already.
  const auto cipher = std::make_unique<Blowfish>();
  if (!cipher->Initialize(key)) return false;
  const size_t blocks = size / kBlock;
  if (counter_high != 0 || counter_low != 0) {
    CounterMode(*cipher, buffer, blocks, counter_high, counter_low);
  } else {
    BlockMode(*cipher, buffer, blocks, encipher, legacy);
  }
  return true;
}

bool DecryptText(std::string& text, std::string_view key, uint32_t counter_high,
                 uint32_t counter_low) {
  if (text.empty()) return true;
  if (!BlowfishCrypt(Bytes(text), text.size(), false, false, counter_high, counter_low, key)) {
    return false;
  }
  const size_t padding = PaddingLength(text);
  if (padding != 0) text.erase(text.size() - padding);
  return true;
}

bool EncryptText(std::string& text, std::string_view key, uint32_t counter_high,
                 uint32_t counter_low) {
  if (key.empty()) return false;
  const size_t pad = kBlock - text.size() % kBlock;
  text.append(pad, static_cast<char>(pad));
  return BlowfishCrypt(Bytes(text), text.size(), true, false, counter_high, counter_low, key);
}

bool LegacyEncrypt(std::string& text, std::string_view key) {
  return BlowfishCrypt(Bytes(text), text.size(), true, true, 0, 0, key);
}

bool LegacyDecrypt(std::string& text, std::string_view key) {
  return BlowfishCrypt(Bytes(text), text.size(), false, true, 0, 0, key);
}

}  // namespace qor
