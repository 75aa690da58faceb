// The block engine over Blowfish and the text ciphers built on it. Every
// call keys a fresh cipher state (521 block encipherments), so these are
// meant for short texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qor {

// Runs the whole 8-byte blocks of `buffer` through Blowfish keyed with
// `key`; a tail of 1 to 7 bytes stays as it is. The mode:
//  - counter mode when the counter (high, low) is not zero: the counter's
//    bytes are the little-endian bytes of `counter_high` then of
//    `counter_low`; before each block it is incremented as a big-endian
//    64-bit number, enciphered, and XORed into the block (so the same call
//    enciphers and deciphers);
//  - standard mode (`legacy` false): each block is read and written as two
//    big-endian words, left first;
//  - legacy mode: each block is two little-endian words, right first.
// False, with `buffer` untouched, when `key` is empty.
bool BlowfishCrypt(uint8_t* buffer, size_t size, bool encipher, bool legacy,
                   uint32_t counter_high, uint32_t counter_low, std::string_view key);

// Deciphers `text` in place (counter mode when a counter is given, standard
// mode otherwise) and removes its padding: a last byte 1 goes alone, a last
// byte n of 2 to 8 preceded by n - 1 more bytes n takes them with it.
// An empty text stays empty. False, with `text` untouched, when `key` is
// empty.
bool DecryptText(std::string& text, std::string_view key, uint32_t counter_high,
                 uint32_t counter_low);

// The converse of DecryptText: pads `text` to a multiple of 8 bytes with n
// bytes of value n (1 to 8) and enciphers it. False, with `text` untouched,
// when `key` is empty.
bool EncryptText(std::string& text, std::string_view key, uint32_t counter_high,
                 uint32_t counter_low);

// Legacy-mode enciphering and deciphering in place, without padding. False,
// with `text` untouched, when `key` is empty.
bool LegacyEncrypt(std::string& text, std::string_view key);
bool LegacyDecrypt(std::string& text, std::string_view key);

}  // namespace qor
