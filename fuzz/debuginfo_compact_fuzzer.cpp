// The compact debug-information reader. A reader behind a cipher and a
// checksum sees little of random bytes, so most inputs are framed first:
// the first byte picks how, and the rest is split into a payload and an
// inline-chain table, each packed and enciphered with the format's own
// routines and put behind a valid header. The reader then meets the fuzzed
// tables themselves. Inputs whose first byte is 0xFF go to the reader as
// they are, for the framing itself. Every lookup runs on what was read.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "crash/attach/blowfish_modes.h"
#include "crash/attach/packed_block.h"
#include "crash/debuginfo/compact_reader.h"

namespace {

void Put32(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// `plain` packed and enciphered behind `signature` and its length.
void AppendBlock(std::vector<uint8_t>& out, std::string_view signature, std::span<const uint8_t> plain,
                 bool with_version, uint8_t mode) {
  const std::vector<uint8_t> packed = qor::PackBlock(plain);
  std::string block(packed.begin(), packed.end());
  qor::LegacyEncrypt(block, qor::CompactPayloadKey(static_cast<uint32_t>(block.size())));
  out.insert(out.end(), signature.begin(), signature.end());
  Put32(out, static_cast<uint32_t>(block.size()));
  if (with_version) {
    const bool version3 = mode & 1;
    Put32(out, version3 ? 3 : 2);
    if (version3) {
      Put32(out, 0x1234);
      Put32(out, 0x5678);
      Put32(out, (mode >> 1) & qor::kCompactFlagMinimal);
    }
  }
  out.insert(out.end(), block.begin(), block.end());
}

std::vector<uint8_t> Framed(const uint8_t* data, size_t size) {
  const uint8_t mode = data[0];
  const std::span<const uint8_t> rest(data + 1, size - 1);
  // Bit 2: an inline-chain table follows; bits 3..7 and the length say
  // where the payload ends.
  const size_t split = (mode & 4) ? rest.size() * ((mode >> 3) + 1) / 33 : rest.size();
  std::vector<uint8_t> out;
  AppendBlock(out, qor::kCompactSignature, rest.first(split), true, mode);
  if (mode & 4) AppendBlock(out, qor::kCompactInlineSignature, rest.subspan(split), false, mode);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::vector<uint8_t> input =
      data[0] == 0xFF ? std::vector<uint8_t>(data + 1, data + size) : Framed(data, size);
  qor::CompactHeader header;
  if (!qor::ParseCompactHeader(input, header)) return 0;
  qor::TMapFile map;
  map.BaseOfCode = 0x401000;
  map.TopOfCode = 0x500000;
  const std::vector<uint8_t> payload = qor::DecodeCompactPayload(input, header);
  if (payload.empty() ||
      !qor::ReadCompactPayload(payload, (header.flags & qor::kCompactFlagMinimal) != 0, map)) {
    return 0;
  }
  qor::ReadCompactInlines(input, header, map);
  map.Valid = true;
  map.SortSegments();
  map.SortLines();
  for (uint32_t address : {0u, 0x401000u, 0x401234u, 0x4FFFFFu, 0xFFFFFFFFu}) {
    map.SegmentAt(qor::SymbolKind::kCode, address);
    map.PublicAt(address);
    map.LineAt(address);
    map.Inlines.At(address);
  }
  return 0;
}
