#include "crash/debuginfo/compact_reader.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "crash/attach/blowfish_modes.h"
#include "crash/attach/packed_block.h"
#include "crash/debuginfo/mini_stream.h"

namespace qor {
namespace {

bool ReadRaw32(TMiniStream& stream, uint32_t& value) {
  uint8_t b[4];
  if (stream.Read(b, 4) != 4) return false;
  value = uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
  return true;
}

// One signed byte; -128 escapes a full 32-bit value.
bool ReadPacked(TMiniStream& stream, uint32_t& value) {
  int8_t small = 0;
  if (stream.Read(&small, 1) != 1) return false;
  if (small != -128) {
    value = static_cast<uint32_t>(int32_t{small});
    return true;
  }
  return ReadRaw32(stream, value);
}

bool ReadPackedString(TMiniStream& stream, std::string& text) {
  uint8_t length = 0;
  if (stream.Read(&length, 1) != 1 || stream.Remaining() < length) return false;
  text.resize(length);
  return stream.Read(text.data(), length) == length;
}

// A count read as the signed value it was written as: negative reads nothing.
uint32_t Count(uint32_t raw) { return static_cast<int32_t>(raw) < 0 ? 0 : raw; }

bool ReadSegments(TMiniStream& stream, bool minimal, TMapFile& map) {
  uint32_t count = 0;
  if (!ReadRaw32(stream, count)) return false;
  for (uint32_t i = 0; i < Count(count); ++i) {
    TMfSegment segment;
    segment.Valid = 1;
    segment.IsCode = 1;
    if (!ReadRaw32(stream, segment.Start) || !ReadRaw32(stream, segment.Length)) return false;
    segment.Start += map.BaseOfCode;
    if (minimal) {
      if (stream.Read(&segment.HasLines, 1) != 1) return false;
      segment.UnitName = "segment%" + std::to_string(i);
    } else if (!ReadPackedString(stream, segment.UnitName)) {
      return false;
    }
    map.AddSegment(segment);
  }
  return true;
}

bool ReadPublics(TMiniStream& stream, bool minimal, TMapFile& map) {
  uint32_t count = 0;
  if (!ReadRaw32(stream, count)) return false;
  uint32_t address = 0;
  for (uint32_t i = 0; i < Count(count); ++i) {
    TMfPublic item;
    item.Valid = 1;
    item.IsCode = 1;
    if (minimal) {
      item.Name = "public%" + std::to_string(i);
    } else if (!ReadPackedString(stream, item.Name)) {
      return false;
    }
    uint32_t value = 0;
    if (i == 0 ? !ReadRaw32(stream, value) : !ReadPacked(stream, value)) return false;
    address = i == 0 ? value + map.BaseOfCode : address + value;
    item.Address = address;
    map.AddPublic(item);
  }
  return true;
}

bool ReadLines(TMiniStream& stream, TMapFile& map) {
  uint32_t count = 0;
  if (!ReadRaw32(stream, count)) return false;
  uint32_t line = 0;
  uint32_t address = 0;
  for (uint32_t i = 0; i < Count(count); ++i) {
    uint32_t line_step = 0;
    uint32_t address_step = 0;
    if (i == 0) {
      if (!ReadRaw32(stream, line) || !ReadRaw32(stream, address)) return false;
      address += map.BaseOfCode;
    } else {
      if (!ReadPacked(stream, line_step) || !ReadPacked(stream, address_step)) return false;
      line += line_step;
      address += address_step;
    }
    map.AddLine(static_cast<int32_t>(line), address);
  }
  return true;
}

bool ReadUleb(TMiniStream& stream, uint32_t& value) {
  value = 0;
  for (int shift = 0; shift < 35; shift += 7) {
    uint8_t byte = 0;
    if (stream.Read(&byte, 1) != 1) return false;
    value |= static_cast<uint32_t>(byte & 0x7F) << shift;
    if (!(byte & 0x80)) return true;
  }
  return false;
}

bool ReadInlineRanges(TMiniStream& stream, uint32_t base, InlineTable& table) {
  uint32_t text_count = 0;
  if (!ReadUleb(stream, text_count)) return false;
  std::vector<std::string> texts;
  for (uint32_t i = 0; i < text_count; ++i) {
    std::string text;
    if (!ReadPackedString(stream, text)) return false;
    texts.push_back(std::move(text));
  }
  uint32_t range_count = 0;
  if (!ReadUleb(stream, range_count)) return false;
  uint32_t start = base;
  std::vector<InlineFrame> frames;
  for (uint32_t i = 0; i < range_count; ++i) {
    uint32_t step = 0, frame_count = 0;
    if (!ReadUleb(stream, step) || !ReadUleb(stream, frame_count)) return false;
    start += step;
    frames.clear();
    for (uint32_t f = 0; f < frame_count; ++f) {
      uint32_t function = 0, unit = 0, line = 0;
      if (!ReadUleb(stream, function) || !ReadUleb(stream, unit) || !ReadUleb(stream, line) ||
          function >= texts.size() || unit >= texts.size()) {
        return false;
      }
      frames.push_back({texts[function], texts[unit], static_cast<int32_t>(line)});
    }
    table.Add(start, frames);
  }
  return stream.Remaining() == 0;
}

}  // namespace

bool ReadCompactInlines(std::span<const uint8_t> data, const CompactHeader& header, TMapFile& map) {
  map.Inlines.Clear();
  const size_t at = header.payload_offset + header.payload_length;
  const size_t framing = kCompactInlineSignature.size() + 4;
  if (at > data.size() || data.size() - at < framing ||
      std::memcmp(data.data() + at, kCompactInlineSignature.data(), kCompactInlineSignature.size()) != 0) {
    return true;
  }
  const uint8_t* p = data.data() + at + kCompactInlineSignature.size();
  const uint32_t length = uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
  if (length > data.size() - at - framing) return false;
  std::string block(reinterpret_cast<const char*>(p + 4), length);
  LegacyDecrypt(block, CompactPayloadKey(length));
  const std::vector<uint8_t> plain =
      UnpackBlock({reinterpret_cast<const uint8_t*>(block.data()), block.size()});
  TMiniStream stream(plain);
  if (!plain.empty() && ReadInlineRanges(stream, map.BaseOfCode, map.Inlines)) return true;
  map.Inlines.Clear();
  return false;
}

std::vector<uint8_t> DecodeCompactPayload(std::span<const uint8_t> data,
                                          const CompactHeader& header) {
  const auto* first = reinterpret_cast<const char*>(data.data() + header.payload_offset);
  std::string payload(first, header.payload_length);
  LegacyDecrypt(payload, CompactPayloadKey(header.payload_length));
  return UnpackBlock({reinterpret_cast<const uint8_t*>(payload.data()), payload.size()});
}

bool ReadCompactPayload(std::span<const uint8_t> payload, bool minimal, TMapFile& map) {
  TMiniStream stream(payload);
  if (stream.Size() != static_cast<int64_t>(payload.size())) return false;
  if (!ReadSegments(stream, minimal, map) || !ReadPublics(stream, minimal, map) ||
      !ReadLines(stream, map)) {
    return false;
  }
  uint32_t entry = 0;
  if (stream.Remaining() == 4 && ReadRaw32(stream, entry)) map.EntryPoint = entry + map.BaseOfCode;
  return true;
}

std::string FindMinDebugInfo(std::span<const uint8_t> settings) {
  static constexpr uint8_t kMarker[] = {12, 'M', 'i', 'n', 'D', 'e', 'b', 'u', 'g',
                                        'I', 'n', 'f', 'o', 12, 31, 0, 0, 0};
  constexpr size_t kValueSize = 31;
  const auto found = std::search(settings.begin(), settings.end(), std::begin(kMarker),
                                 std::end(kMarker));
  if (found == settings.end()) return {};
  const size_t value_at = static_cast<size_t>(found - settings.begin()) + sizeof kMarker;
  if (settings.size() - value_at < kValueSize) return {};
  return std::string(reinterpret_cast<const char*>(settings.data() + value_at), kValueSize);
}

}  // namespace qor
