#include "crash/modules/eh_tables.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>

#include "crash/modules/byte_cursor.h"
#include "crash/modules/pe_image.h"

namespace qor {
namespace {

// Pointer encodings of the tables: the low four bits give the format, the
// next three how the value applies, the top bit an indirection.
constexpr uint8_t kOmit = 0xFF;
constexpr uint8_t kFormatMask = 0x0F, kApplyMask = 0x70, kIndirect = 0x80;
constexpr uint8_t kAbsolute = 0x00, kUleb = 0x01, kUdata2 = 0x02, kUdata4 = 0x03, kUdata8 = 0x04,
                  kSleb = 0x09, kSdata2 = 0x0A, kSdata4 = 0x0B, kSdata8 = 0x0C;
constexpr uint8_t kPcRelative = 0x10;
constexpr uint32_t kSectionCodeFlag = 0x20;
// Bounds for what is read at once: a section of frame records, and one
// function's language-specific data.
constexpr uint32_t kMaxEhFrame = 16u << 20;
constexpr uint32_t kMaxLsda = 1u << 16;

// A pointer in `encoding` at the cursor, whose bytes were copied from the
// target's memory at `base`. A pc-relative value counts from the address
// of its own field; an indirect one is read from the address it gives.
// Encodings relative to text, data or the function are not used by the
// tool chain on this platform and fail.
uint32_t Encoded(ByteCursor& c, uint32_t base, uint8_t encoding, const MemoryReader& memory) {
  const uint32_t field = base + static_cast<uint32_t>(c.at);
  uint64_t value = 0;
  switch (encoding & kFormatMask) {
    case kAbsolute: case kUdata4: value = c.Fixed(4); break;
    case kUleb: value = c.Uleb(); break;
    case kUdata2: value = c.Fixed(2); break;
    case kUdata8: case kSdata8: value = c.Fixed(8); break;
    case kSleb: value = static_cast<uint64_t>(c.Sleb()); break;
    case kSdata2: value = static_cast<uint64_t>(static_cast<int16_t>(c.Fixed(2))); break;
    case kSdata4: value = static_cast<uint64_t>(static_cast<int32_t>(c.Fixed(4))); break;
    default: c.failed = true;
  }
  const uint8_t apply = encoding & kApplyMask;
  if (apply == kPcRelative) {
    value += field;
  } else if (apply != 0) {
    c.failed = true;
  }
  uint32_t result = static_cast<uint32_t>(value);
  if ((encoding & kIndirect) && !c.failed && !ReadU32(memory, result, result)) c.failed = true;
  return result;
}

// Bytes copied from the target's memory, read through a cursor.
struct CopiedTable {
  std::vector<uint8_t> bytes;
  uint32_t base;
  ByteCursor cursor{bytes};
  CopiedTable(std::vector<uint8_t> b, uint32_t at) : bytes(std::move(b)), base(at) {}
  CopiedTable(const CopiedTable&) = delete;
  CopiedTable& operator=(const CopiedTable&) = delete;
  uint32_t Encoded(uint8_t encoding, const MemoryReader& memory) {
    return qor::Encoded(cursor, base, encoding, memory);
  }
};

std::vector<uint8_t> ReadPrefix(const MemoryReader& memory, uint32_t address, uint32_t size) {
  std::vector<uint8_t> bytes(size);
  bytes.resize(memory.Read(address, bytes.data(), size));
  return bytes;
}

// A section holds frame records when its first record is a common
// information entry: a length, an id of 0 and version 1 or 3. Its name is
// ".eh_frame" cut to eight characters, or, in an image that kept long
// section names, a reference into a string table that is not loaded.
bool IsEhFrame(const MemoryReader& memory, uint32_t base, const SectionHeader& s) {
  const bool named = std::memcmp(s.name, ".eh_fram", 8) == 0 || s.name[0] == '/';
  uint8_t head[9];
  if (!named || (s.characteristics & kSectionCodeFlag) || s.virtual_size < sizeof head ||
      !memory.ReadAll(base + s.virtual_address, head, sizeof head)) {
    return false;
  }
  uint32_t length, id;
  std::memcpy(&length, head, 4);
  std::memcpy(&id, head + 4, 4);
  return length >= 8 && length < s.virtual_size && id == 0 && (head[8] == 1 || head[8] == 3);
}

bool FindEhFrame(const MemoryReader& memory, uint32_t base, uint32_t& begin, uint32_t& size) {
  const uint32_t nt = NtHeaders(memory, base);
  uint32_t count = 0, first = 0;
  if (!nt || !SectionTable(memory, nt, count, first)) return false;
  for (uint32_t i = 0; i < count; ++i) {
    SectionHeader s;
    if (ReadSection(memory, nt, i, s) && IsEhFrame(memory, base, s)) {
      begin = base + s.virtual_address;
      size = std::min(s.virtual_size, kMaxEhFrame);
      return true;
    }
  }
  return false;
}

// What a function's record needs from its common information entry.
struct Cie {
  bool valid = false;
  bool has_data = false;      // augmentation "z...": the record carries augmentation data
  uint8_t fde_encoding = kAbsolute;
  uint8_t lsda_encoding = kOmit;
};

Cie ReadCie(CopiedTable& table, size_t offset, const MemoryReader& memory) {
  ByteCursor& c = table.cursor;
  Cie cie;
  c.Seek(offset);
  c.Fixed(4);  // length
  if (c.Fixed(4) != 0) return cie;
  const uint64_t version = c.Fixed(1);
  const std::string augmentation = c.String();
  c.Uleb();  // code alignment
  c.Sleb();  // data alignment
  if (version == 1) {
    c.Fixed(1);
  } else {
    c.Uleb();  // return address register
  }
  if (augmentation.empty() || augmentation[0] != 'z') {
    cie.valid = !c.failed && augmentation.empty();
    return cie;
  }
  cie.has_data = true;
  c.Uleb();  // augmentation data length
  for (size_t i = 1; i < augmentation.size() && !c.failed; ++i) {
    switch (augmentation[i]) {
      case 'L': cie.lsda_encoding = static_cast<uint8_t>(c.Fixed(1)); break;
      case 'R': cie.fde_encoding = static_cast<uint8_t>(c.Fixed(1)); break;
      case 'P': table.Encoded(static_cast<uint8_t>(c.Fixed(1)) & ~kIndirect, memory); break;
      case 'S': case 'B': break;
      default: return cie;  // what follows cannot be read
    }
  }
  cie.valid = !c.failed;
  return cie;
}

struct FrameRecord {
  uint32_t start = 0;  // first address the record covers
  uint32_t lsda = 0;   // 0: none
};

// Every record of the section that names language-specific data; a
// damaged record ends the walk.
template <typename Add>
void ReadRecords(const MemoryReader& memory, uint32_t begin, uint32_t size, Add add) {
  CopiedTable table(ReadPrefix(memory, begin, size), begin);
  ByteCursor& c = table.cursor;
  std::unordered_map<size_t, Cie> cies;
  for (size_t at = 0; at + 8 <= c.data.size();) {
    c.Seek(at);
    const uint64_t length = c.Fixed(4);
    const size_t id_at = at + 4;
    if (length == 0 || length == 0xFFFFFFFFu || length > c.data.size() - id_at) return;
    const size_t next = id_at + static_cast<size_t>(length);
    const uint64_t id = c.Fixed(4);
    if (id != 0 && id <= id_at) {
      const size_t cie_at = id_at - static_cast<size_t>(id);
      auto known = cies.find(cie_at);
      if (known == cies.end()) known = cies.emplace(cie_at, ReadCie(table, cie_at, memory)).first;
      const Cie& cie = known->second;
      c.Seek(id_at + 4);
      const uint32_t start = table.Encoded(cie.fde_encoding, memory);
      const uint32_t range = table.Encoded(cie.fde_encoding & kFormatMask, memory);
      if (cie.valid && cie.has_data && cie.lsda_encoding != kOmit && !c.failed) {
        c.Uleb();
        const uint32_t lsda = table.Encoded(cie.lsda_encoding, memory);
        if (!c.failed && lsda != 0 && range != 0) add(start, range, lsda);
      }
    }
    at = next;
  }
}

// The call-site table: for each range of code that may throw, where its
// exceptions land (0: nowhere, they pass on). False when the table needs
// more than the bytes copied (`needed` says how many).
bool ReadCallSites(CopiedTable& table, const FrameRecord& record, const MemoryReader& memory,
                   size_t& needed, std::vector<LandingPad>& pads) {
  ByteCursor& c = table.cursor;
  const uint8_t start_encoding = static_cast<uint8_t>(c.Fixed(1));
  const uint32_t pads_base =
      start_encoding == kOmit ? record.start : table.Encoded(start_encoding, memory);
  if (static_cast<uint8_t>(c.Fixed(1)) != kOmit) c.Uleb();  // type table
  const uint8_t site_encoding = static_cast<uint8_t>(c.Fixed(1)) & kFormatMask;
  const uint64_t table_length = c.Uleb();
  needed = c.at + static_cast<size_t>(std::min<uint64_t>(table_length, kMaxLsda));
  if (c.failed || needed > c.data.size()) return false;
  while (!c.failed && c.at < needed) {
    const uint32_t start = table.Encoded(site_encoding, memory);
    table.Encoded(site_encoding, memory);  // length
    const uint32_t pad = table.Encoded(site_encoding, memory);
    c.Uleb();  // action
    if (!c.failed && pad != 0) pads.push_back({pads_base + pad, record.start + start});
  }
  if (c.failed || c.at != needed) pads.clear();
  return true;
}

// Most tables are short: a little is copied first, and the rest when the
// table says that it is longer.
std::vector<LandingPad> ReadLsda(const MemoryReader& memory, const FrameRecord& record) {
  constexpr uint32_t kFirstCopy = 256;
  std::vector<LandingPad> pads;
  size_t needed = 0;
  CopiedTable first(ReadPrefix(memory, record.lsda, kFirstCopy), record.lsda);
  if (ReadCallSites(first, record, memory, needed, pads) || first.bytes.size() < kFirstCopy) {
    return pads;
  }
  CopiedTable whole(ReadPrefix(memory, record.lsda, static_cast<uint32_t>(needed)), record.lsda);
  ReadCallSites(whole, record, memory, needed, pads);
  return pads;
}

}  // namespace

EhFrameIndex::EhFrameIndex(const MemoryReader& memory, uint32_t module_base) {
  uint32_t begin = 0, size = 0;
  if (!FindEhFrame(memory, module_base, begin, size)) return;
  ReadRecords(memory, begin, size, [this](uint32_t start, uint32_t range, uint32_t lsda) {
    records_.push_back({start, range, lsda});
  });
  std::sort(records_.begin(), records_.end(),
            [](const Record& a, const Record& b) { return a.start < b.start; });
}

int32_t EhFrameIndex::RecordAt(uint32_t address) const {
  const auto after = std::upper_bound(records_.begin(), records_.end(), address,
                                      [](uint32_t at, const Record& r) { return at < r.start; });
  if (after == records_.begin()) return -1;
  const auto index = static_cast<int32_t>(after - records_.begin() - 1);
  return address - records_[index].start < records_[index].range ? index : -1;
}

std::vector<LandingPad> EhFrameIndex::LandingPads(const MemoryReader& memory, int32_t record) const {
  if (record < 0 || static_cast<size_t>(record) >= records_.size()) return {};
  return ReadLsda(memory, {records_[record].start, records_[record].lsda});
}

std::vector<LandingPad> EhFrameIndex::LandingPadsAt(const MemoryReader& memory,
                                                    uint32_t address) const {
  return LandingPads(memory, RecordAt(address));
}

}  // namespace qor
