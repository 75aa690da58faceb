// The Blowfish block cipher: 64-bit blocks as two 32-bit halves, 16 rounds,
// keys of 1 to 72 bytes.
#pragma once

#include <cstdint>
#include <string_view>

namespace qor {

class Blowfish {
 public:
  Blowfish() = default;
  Blowfish(const Blowfish&) = delete;
  Blowfish& operator=(const Blowfish&) = delete;

  // Builds the key schedule. The key's bytes are taken cyclically, so an
  // empty key cannot key the cipher: false then, and the object stays
  // unusable. Bytes beyond the 72nd have no effect.
  bool Initialize(std::string_view key);

  // Enciphers or deciphers one block in place (left = most significant
  // half). Only valid after Initialize returned true.
  void Encipher(uint32_t& left, uint32_t& right) const;
  void Decipher(uint32_t& left, uint32_t& right) const;

 private:
  uint32_t F(uint32_t x) const;

  uint32_t p_[18] = {};
  uint32_t s_[4][256] = {};
};

}  // namespace qor
