// Text deciphering with any key, counter and text: byte 0 is the key length,
// then the key, 8 counter bytes and the text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "crash/attach/blowfish_modes.h"
#include "crash/attach/byte_order.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 9) return 0;
  const size_t key_size = data[0] % 80;
  if (size < 9 + key_size) return 0;
  const std::string key(reinterpret_cast<const char*>(data + 1), key_size);
  const uint32_t high = qor::LoadLe32(data + 1 + key_size);
  const uint32_t low = qor::LoadLe32(data + 5 + key_size);
  const std::string plain(reinterpret_cast<const char*>(data + 9 + key_size),
                          size - 9 - key_size);

  std::string text = plain;
  const bool keyed = qor::DecryptText(text, key, high, low);
  if (keyed == key.empty() && !plain.empty()) std::abort();
  if (text.size() > plain.size() || (!keyed && text != plain)) std::abort();

  // Enciphering then deciphering gives back the text.
  text = plain;
  if (qor::EncryptText(text, key, high, low)) {
    if (!qor::DecryptText(text, key, high, low) || text != plain) std::abort();
  }
  return 0;
}
