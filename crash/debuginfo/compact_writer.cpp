#include "crash/debuginfo/compact_writer.h"

#include <algorithm>
#include <map>
#include <string_view>

#include "crash/attach/blowfish_modes.h"
#include "crash/attach/packed_block.h"
#include "crash/debuginfo/compact_format.h"

namespace qor {
namespace {

void PutRaw32(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// -127..127 fit one byte; anything else (and -128, the escape) takes five.
void PutPacked(std::vector<uint8_t>& out, uint32_t value) {
  const auto signed_value = static_cast<int32_t>(value);
  if (signed_value >= -127 && signed_value <= 127) {
    out.push_back(static_cast<uint8_t>(signed_value));
  } else {
    out.push_back(0x80);
    PutRaw32(out, value);
  }
}

void PutString(std::vector<uint8_t>& out, const std::string& text) {
  const size_t length = std::min<size_t>(text.size(), 255);
  out.push_back(static_cast<uint8_t>(length));
  out.insert(out.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length));
}

void PutUleb(std::vector<uint8_t>& out, uint32_t value) {
  do {
    const auto byte = static_cast<uint8_t>(value & 0x7F);
    value >>= 7;
    out.push_back(value ? byte | 0x80 : byte);
  } while (value);
}

// Packs and enciphers `plain` behind `signature` and its length.
bool AppendBlock(std::vector<uint8_t>& out, std::string_view signature,
                 const std::vector<uint8_t>& plain) {
  const std::vector<uint8_t> packed = PackBlock(plain);
  if (packed.empty()) return false;
  const auto length = static_cast<uint32_t>(packed.size());
  std::string block(packed.begin(), packed.end());
  LegacyEncrypt(block, CompactPayloadKey(length));
  out.insert(out.end(), signature.begin(), signature.end());
  PutRaw32(out, length);
  out.insert(out.end(), block.begin(), block.end());
  return true;
}

}  // namespace

std::vector<uint8_t> EncodeCompactInlines(const std::vector<CompactInlineRange>& inlines) {
  std::vector<std::string> texts;
  std::map<std::string, uint32_t> index;
  const auto intern = [&](const std::string& text) {
    const std::string kept = text.substr(0, 255);
    const auto [it, added] = index.try_emplace(kept, static_cast<uint32_t>(texts.size()));
    if (added) texts.push_back(kept);
    return it->second;
  };
  std::vector<uint8_t> ranges;
  uint32_t previous = 0;
  for (const CompactInlineRange& range : inlines) {
    PutUleb(ranges, range.start - previous);
    previous = range.start;
    PutUleb(ranges, static_cast<uint32_t>(range.frames.size()));
    for (const CompactInlineFrame& frame : range.frames) {
      PutUleb(ranges, intern(frame.function));
      PutUleb(ranges, intern(frame.unit));
      PutUleb(ranges, static_cast<uint32_t>(frame.line));
    }
  }
  std::vector<uint8_t> out;
  PutUleb(out, static_cast<uint32_t>(texts.size()));
  for (const std::string& text : texts) PutString(out, text);
  PutUleb(out, static_cast<uint32_t>(inlines.size()));
  out.insert(out.end(), ranges.begin(), ranges.end());
  return out;
}

std::vector<uint8_t> EncodeCompactPayload(const CompactTables& tables, bool minimal) {
  std::vector<uint8_t> out;
  PutRaw32(out, static_cast<uint32_t>(tables.segments.size()));
  for (const CompactSegment& s : tables.segments) {
    PutRaw32(out, s.start);
    PutRaw32(out, s.length);
    if (minimal) {
      out.push_back(s.has_lines ? 1 : 0);
    } else {
      PutString(out, s.unit_name);
    }
  }
  PutRaw32(out, static_cast<uint32_t>(tables.publics.size()));
  for (size_t i = 0; i < tables.publics.size(); ++i) {
    if (!minimal) PutString(out, tables.publics[i].name);
    const uint32_t address = tables.publics[i].address;
    if (i == 0) {
      PutRaw32(out, address);
    } else {
      PutPacked(out, address - tables.publics[i - 1].address);
    }
  }
  PutRaw32(out, static_cast<uint32_t>(tables.lines.size()));
  for (size_t i = 0; i < tables.lines.size(); ++i) {
    const CompactLine& line = tables.lines[i];
    if (i == 0) {
      PutRaw32(out, static_cast<uint32_t>(line.line));
      PutRaw32(out, line.address);
    } else {
      PutPacked(out, static_cast<uint32_t>(line.line) - static_cast<uint32_t>(tables.lines[i - 1].line));
      PutPacked(out, line.address - tables.lines[i - 1].address);
    }
  }
  if (tables.entry_point) PutRaw32(out, *tables.entry_point);
  return out;
}

std::vector<uint8_t> WriteCompact(const CompactTables& tables, const CompactOptions& options) {
  const bool minimal = options.version == 3 && options.minimal;
  const std::vector<uint8_t> packed = PackBlock(EncodeCompactPayload(tables, minimal));
  if (packed.empty()) return {};
  const auto length = static_cast<uint32_t>(packed.size());
  std::string payload(packed.begin(), packed.end());
  LegacyEncrypt(payload, CompactPayloadKey(length));

  std::vector<uint8_t> out(kCompactSignature.begin(), kCompactSignature.end());
  PutRaw32(out, length);
  PutRaw32(out, options.version);
  if (options.version == 3) {
    PutRaw32(out, options.key_a);
    PutRaw32(out, options.key_b);
    PutRaw32(out, options.minimal ? kCompactFlagMinimal : 0);
  }
  out.insert(out.end(), payload.begin(), payload.end());
  if (!tables.inlines.empty() && !minimal &&
      !AppendBlock(out, kCompactInlineSignature, EncodeCompactInlines(tables.inlines))) {
    return {};
  }
  return out;
}

}  // namespace qor
