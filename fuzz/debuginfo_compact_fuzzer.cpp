// The compact debug-information reader over whole framed inputs, as the
// resource or a companion file would hand them over, then every lookup.
#include <cstddef>
#include <cstdint>

#include "crash/debuginfo/compact_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> input(data, size);
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
  map.Valid = true;
  map.SortSegments();
  map.SortLines();
  for (uint32_t address : {0u, 0x401000u, 0x401234u, 0x4FFFFFu, 0xFFFFFFFFu}) {
    map.SegmentAt(qor::SymbolKind::kCode, address);
    map.PublicAt(address);
    map.LineAt(address);
  }
  return 0;
}
