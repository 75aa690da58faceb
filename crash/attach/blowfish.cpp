#include "crash/attach/blowfish.h"

#include <cstring>

namespace qor {
namespace {

constexpr uint32_t kInitialState[18 + 4 * 256] = {
#include "crash/attach/blowfish_init.inc"
};

}  // namespace

bool Blowfish::Initialize(std::string_view key) {
  if (key.empty()) return false;
  static_assert(sizeof(kInitialState) == sizeof(p_) + sizeof(s_));
  std::memcpy(p_, kInitialState, sizeof(p_));
  std::memcpy(s_, kInitialState + 18, sizeof(s_));
  size_t next = 0;
  for (uint32_t& word : p_) {
    uint32_t data = 0;
    for (int k = 0; k < 4; ++k) {
      data = data << 8 | static_cast<unsigned char>(key[next]);
      next = next + 1 == key.size() ? 0 : next + 1;
    }
    word ^= data;
  }
  uint32_t left = 0;
  uint32_t right = 0;
  for (size_t i = 0; i < 18; i += 2) {
    Encipher(left, right);
    p_[i] = left;
    p_[i + 1] = right;
  }
  for (auto& box : s_) {
    for (size_t i = 0; i < 256; i += 2) {
      Encipher(left, right);
      box[i] = left;
      box[i + 1] = right;
    }
  }
  return true;
}

uint32_t Blowfish::F(uint32_t x) const {
  return ((s_[0][x >> 24] + s_[1][(x >> 16) & 0xFF]) ^ s_[2][(x >> 8) & 0xFF]) + s_[3][x & 0xFF];
}

void Blowfish::Encipher(uint32_t& left, uint32_t& right) const {
  uint32_t l = left;
  uint32_t r = right;
  for (int i = 0; i < 16; i += 2) {
    l ^= p_[i];
    r ^= F(l);
    r ^= p_[i + 1];
    l ^= F(r);
  }
  left = r ^ p_[17];
  right = l ^ p_[16];
}

void Blowfish::Decipher(uint32_t& left, uint32_t& right) const {
  uint32_t l = left;
  uint32_t r = right;
  for (int i = 17; i > 1; i -= 2) {
    l ^= p_[i];
    r ^= F(l);
    r ^= p_[i - 1];
    l ^= F(r);
  }
  left = r ^ p_[0];
  right = l ^ p_[1];
}

}  // namespace qor
