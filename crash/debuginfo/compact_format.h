// Framing of the compact debug-information format, shared by its reader and
// its writer: the signature, the header fields, and the keys.
//
//   0..13  signature            18..21  version (2 or 3)
//  14..17  payload length L     version 3: 22..25 key part A, 26..29 key
//                               part B, 30..33 flags (bit 0: minimal mode)
// The payload (L bytes, at 22 or 34) is a packed block enciphered in legacy
// mode with a key derived from L.
//
// An optional inline-chain table may follow the payload; readers that do
// not know it read only the L bytes of the payload and never see it:
//   0..13 its own signature, 14..17 its length L2, then L2 bytes packed and
//   enciphered as the payload is (the key derived from L2).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace qor {

inline constexpr std::string_view kCompactSignature = "QOR-DEBUG-INFO";
inline constexpr std::string_view kCompactInlineSignature = "QOR-INLINE-TAB";
inline constexpr uint32_t kCompactFlagMinimal = 1;
inline constexpr size_t kCompactMinimumSize = 23;

struct CompactHeader {
  uint32_t payload_length = 0;
  uint32_t version = 0;
  uint32_t key_a = 0;  // version 3 only
  uint32_t key_b = 0;
  uint32_t flags = 0;
  size_t payload_offset = 0;
};

// False when `data` is not in this format (too short, other signature,
// version other than 2 or 3) or is shorter than its header and payload.
bool ParseCompactHeader(std::span<const uint8_t> data, CompactHeader& header);

// The cipher key for a payload of `payload_length` bytes.
std::string CompactPayloadKey(uint32_t payload_length);

// The 31-character key that identifies a compact file of `file_length`
// bytes with the given key parts: "$llllllll, $aaaaaaaa, $bbbbbbbb".
std::string CompactFileKey(uint32_t file_length, uint32_t key_a, uint32_t key_b);

}  // namespace qor
