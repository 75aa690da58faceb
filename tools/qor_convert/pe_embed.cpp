#include "tools/qor_convert/pe_embed.h"

#include <algorithm>
#include <cstring>

#include "crash/debuginfo/resource_writer.h"

namespace qor::convert {
namespace {

constexpr uint32_t kHighBit = 0x80000000u;
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kResourceCharacteristics = 0x40000040;  // initialised data, readable
constexpr uint16_t kDebugStripped = 0x0200;

// Wide, so that a damaged alignment cannot wrap the result.
uint64_t AlignUp(uint64_t value, uint32_t alignment) {
  return alignment ? (value + alignment - 1) / alignment * alignment : value;
}

bool IsDwarf(const PeSection& s) { return s.name.rfind(".debug_", 0) == 0; }

struct ResourceReader {
  const PeFile& pe;
  const PeSection& section;
  uint32_t root;  // file offset of the resource directory
  std::string error;

  bool InSection(uint64_t offset, uint64_t size) const {
    return offset >= section.raw_pointer &&
           offset + size <= uint64_t{section.raw_pointer} + section.raw_size;
  }
  ResourceLabel Label(uint32_t name) const {
    if (!(name & kHighBit)) return {static_cast<uint16_t>(name), {}};
    const uint64_t at = uint64_t{root} + (name & ~kHighBit);
    if (!InSection(at, 2)) return {};
    const uint16_t length = Get16(pe.bytes(), static_cast<size_t>(at));
    if (!InSection(at + 2, 2u * length)) return {};
    std::string text;
    for (uint16_t i = 0; i < length; ++i) {
      text.push_back(static_cast<char>(Get16(pe.bytes(), static_cast<size_t>(at + 2 + 2 * i))));
    }
    return {0, text};
  }
  // Calls `visit(name field, offset field)` for each entry of a directory.
  template <typename Visit>
  bool Entries(uint64_t directory, Visit visit) {
    if (!InSection(directory, 16)) return false;
    const auto at = static_cast<size_t>(directory);
    const uint32_t count = uint32_t{Get16(pe.bytes(), at + 12)} + Get16(pe.bytes(), at + 14);
    if (!InSection(directory + 16, 8ull * count)) return false;
    for (uint32_t i = 0; i < count; ++i) {
      if (!visit(Get32(pe.bytes(), at + 16 + 8 * i), Get32(pe.bytes(), at + 20 + 8 * i))) return false;
    }
    return true;
  }
  bool Data(uint32_t entry, ResourceItem& item) {
    const uint64_t field = uint64_t{root} + entry;
    if (!InSection(field, 16)) return false;
    const uint32_t rva = Get32(pe.bytes(), static_cast<size_t>(field));
    const uint32_t size = Get32(pe.bytes(), static_cast<size_t>(field) + 4);
    item.code_page = Get32(pe.bytes(), static_cast<size_t>(field) + 8);
    const uint64_t at = uint64_t{rva} - section.virtual_address + section.raw_pointer;
    if (rva < section.virtual_address || !InSection(at, size)) return false;
    const auto first = pe.bytes().begin() + static_cast<std::ptrdiff_t>(at);
    item.data.assign(first, first + size);
    return true;
  }
  bool ReadAll(std::vector<ResourceItem>& items) {
    return Entries(root, [&](uint32_t type, uint32_t type_dir) {
      return (type_dir & kHighBit) && Entries(uint64_t{root} + (type_dir & ~kHighBit), [&](uint32_t name, uint32_t name_dir) {
        return (name_dir & kHighBit) && Entries(uint64_t{root} + (name_dir & ~kHighBit), [&](uint32_t language, uint32_t data) {
          ResourceItem item{Label(type), Label(name), static_cast<uint16_t>(language), 0, {}};
          if ((data & kHighBit) || !Data(data, item)) return false;
          items.push_back(std::move(item));
          return true;
        });
      });
    });
  }
};

// Sections that may follow the old resources and move behind the new ones:
// base relocations, which nothing but the data directory points at (their
// entries name pages of the other sections, never their own).
bool IsMovable(const PeSection& s) { return s.name == ".reloc"; }

// Where a moved section goes: behind the new resources (which begin where
// the old ones did), each at the next aligned address.
struct Placement {
  uint64_t rva = 0;
  uint64_t raw_pointer = 0;
};

// The section holding RVA `rva`, or -1.
int SectionOf(const PeFile& pe, uint32_t rva) {
  for (size_t i = 0; i < pe.sections().size(); ++i) {
    const PeSection& s = pe.sections()[i];
    if (rva >= s.virtual_address &&
        uint64_t{rva} < uint64_t{s.virtual_address} + std::max(s.virtual_size, s.raw_size)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

}  // namespace

uint32_t PeChecksum(const std::vector<uint8_t>& bytes, size_t checksum_at) {
  uint64_t sum = 0;
  for (size_t i = 0; i < bytes.size(); i += 2) {
    if (i == checksum_at || i == checksum_at + 2) continue;
    const uint32_t word = bytes[i] | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0);
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + bytes.size());
}

bool EmbedDebugInfo(const PeFile& pe, const std::vector<uint8_t>& compact,
                    std::vector<uint8_t>& output, std::string& error) {
  const std::vector<PeSection>& sections = pe.sections();
  size_t kept = sections.size();
  while (kept > 0 && IsDwarf(sections[kept - 1])) --kept;
  if (std::any_of(sections.begin(), sections.begin() + static_cast<std::ptrdiff_t>(kept), IsDwarf)) {
    error = "a DWARF section lies between other sections";
    return false;
  }
  const uint32_t optional = pe.optional_offset();
  // The resource entry is the third of the data directory, the base
  // relocations the sixth: the optional header must be long enough and
  // count that many entries.
  constexpr uint32_t kResourceEntry = 2, kRelocationEntry = 5, kDirectoryStart = 96, kEntrySize = 8;
  const uint32_t optional_size = Get16(pe.bytes(), pe.nt_offset() + 20);
  const uint32_t entries = Get32(pe.bytes(), optional + 92);
  auto has_entry = [&](uint32_t entry) {
    return entries > entry && optional_size >= kDirectoryStart + (entry + 1) * kEntrySize;
  };
  if (!has_entry(kResourceEntry)) {
    error = "the optional header has no resource directory entry";
    return false;
  }
  const uint32_t resource_dir = optional + kDirectoryStart + kResourceEntry * kEntrySize;
  std::vector<ResourceItem> items;
  const uint32_t old_rva = Get32(pe.bytes(), resource_dir);
  const int old_section = old_rva ? SectionOf(pe, old_rva) : -1;
  if (old_rva) {
    if (old_section < 0) {
      error = "resource directory outside every section";
      return false;
    }
    const PeSection& s = sections[static_cast<size_t>(old_section)];
    ResourceReader reader{pe, s, old_rva - s.virtual_address + s.raw_pointer, {}};
    if (!reader.ReadAll(items)) {
      error = "malformed resource directory";
      return false;
    }
  }
  std::erase_if(items, [](const ResourceItem& i) { return i.type.name == "QOR" && i.name.name == "EXCEPT"; });
  items.push_back({{0, "QOR"}, {0, "EXCEPT"}, 0, 0, compact});

  // The old resources are replaced when only movable sections follow them
  // (the linker puts the base relocations last); otherwise they stay where
  // they are, unused, and the new ones are appended.
  std::vector<PeSection> tail;
  if (old_section >= 0 && std::all_of(sections.begin() + old_section + 1,
                                      sections.begin() + static_cast<std::ptrdiff_t>(kept), IsMovable)) {
    tail.assign(sections.begin() + old_section + 1, sections.begin() + static_cast<std::ptrdiff_t>(kept));
    kept = static_cast<size_t>(old_section);
  }
  if (kept == 0) {
    error = "no section to keep";
    return false;
  }

  const uint32_t file_alignment = Get32(pe.bytes(), optional + 36);
  const uint32_t section_alignment = Get32(pe.bytes(), optional + 32);
  const PeSection& last = sections[kept - 1];
  const uint64_t wide_rva =
      AlignUp(uint64_t{last.virtual_address} + std::max(last.virtual_size, last.raw_size), section_alignment);
  uint64_t raw_end = 0;
  for (size_t i = 0; i < kept; ++i) {
    raw_end = std::max(raw_end, uint64_t{sections[i].raw_pointer} + sections[i].raw_size);
  }
  const uint64_t wide_raw_pointer = AlignUp(raw_end, file_alignment);
  const uint64_t table = pe.section_table_offset();
  const size_t count = kept + 1 + tail.size();
  const uint64_t header = table + uint64_t{kept} * kSectionHeaderSize;
  const uint64_t table_end = table + uint64_t{std::max(sections.size(), count)} * kSectionHeaderSize;
  if (table + uint64_t{count} * kSectionHeaderSize > Get32(pe.bytes(), optional + 60) ||
      table_end > wide_raw_pointer) {
    error = "no room for another section header";
    return false;
  }
  const auto rva = static_cast<uint32_t>(wide_rva);
  const auto raw_pointer = static_cast<uint32_t>(wide_raw_pointer);
  const std::vector<uint8_t> resources = BuildResourceSection(items, rva);
  const uint64_t wide_raw_size = AlignUp(resources.size(), file_alignment);

  std::vector<Placement> moved;
  Placement next{AlignUp(wide_rva + resources.size(), section_alignment), wide_raw_pointer + wide_raw_size};
  for (const PeSection& s : tail) {
    if (uint64_t{s.raw_pointer} + s.raw_size > pe.bytes().size()) {
      error = "a section's data lies outside the file";
      return false;
    }
    moved.push_back(next);
    next = {AlignUp(next.rva + std::max(s.virtual_size, s.raw_size), section_alignment),
            next.raw_pointer + AlignUp(s.raw_size, file_alignment)};
  }
  constexpr uint64_t kLimit = 0xFFFFFFFFu;
  if (next.rva > kLimit || next.raw_pointer > kLimit) {
    error = "the new resource section would lie beyond 32-bit offsets";
    return false;
  }
  const auto raw_size = static_cast<uint32_t>(wide_raw_size);

  // A file may end before its last section's aligned end.
  output.assign(pe.bytes().begin(),
                pe.bytes().begin() + static_cast<std::ptrdiff_t>(std::min<uint64_t>(raw_pointer, pe.bytes().size())));
  output.resize(next.raw_pointer);
  std::copy(resources.begin(), resources.end(), output.begin() + raw_pointer);
  std::fill(output.begin() + static_cast<std::ptrdiff_t>(header),
            output.begin() + static_cast<std::ptrdiff_t>(table_end), 0);
  // Long section names live in the string table, which goes with the
  // symbols: kept sections get their name cut to the 8 bytes of the header.
  for (size_t i = 0; i < kept; ++i) {
    const size_t at = table + i * kSectionHeaderSize;
    std::fill(output.begin() + at, output.begin() + at + 8, 0);
    std::memcpy(&output[at], sections[i].name.data(), std::min<size_t>(8, sections[i].name.size()));
  }
  const auto at = static_cast<size_t>(header);
  std::memcpy(&output[at], ".rsrc", 5);
  Set32(output, at + 8, static_cast<uint32_t>(resources.size()));
  Set32(output, at + 12, rva);
  Set32(output, at + 16, raw_size);
  Set32(output, at + 20, raw_pointer);
  Set32(output, at + 36, kResourceCharacteristics);

  const uint32_t relocation_dir = optional + kDirectoryStart + kRelocationEntry * kEntrySize;
  const uint32_t relocation_rva = has_entry(kRelocationEntry) ? Get32(pe.bytes(), relocation_dir) : 0;
  for (size_t i = 0; i < tail.size(); ++i) {
    const PeSection& s = tail[i];
    const size_t to = at + (i + 1) * kSectionHeaderSize;
    const size_t from = table + (kept + 1 + i) * kSectionHeaderSize;
    std::copy(pe.bytes().begin() + from, pe.bytes().begin() + from + kSectionHeaderSize, output.begin() + to);
    Set32(output, to + 12, static_cast<uint32_t>(moved[i].rva));
    Set32(output, to + 20, static_cast<uint32_t>(moved[i].raw_pointer));
    std::copy(pe.bytes().begin() + s.raw_pointer, pe.bytes().begin() + s.raw_pointer + s.raw_size,
              output.begin() + static_cast<std::ptrdiff_t>(moved[i].raw_pointer));
    if (relocation_rva >= s.virtual_address &&
        relocation_rva < uint64_t{s.virtual_address} + std::max(s.virtual_size, s.raw_size)) {
      Set32(output, relocation_dir, static_cast<uint32_t>(relocation_rva - s.virtual_address + moved[i].rva));
    }
  }

  const uint32_t nt = pe.nt_offset();
  Set16(output, nt + 6, static_cast<uint16_t>(count));
  Set32(output, nt + 12, 0);  // symbol table
  Set32(output, nt + 16, 0);
  Set16(output, nt + 22, Get16(output, nt + 22) | kDebugStripped);
  Set32(output, resource_dir, rva);
  Set32(output, resource_dir + 4, static_cast<uint32_t>(resources.size()));
  Set32(output, optional + 56, static_cast<uint32_t>(next.rva));
  uint32_t initialized = raw_size;
  for (size_t i = 0; i < kept; ++i) {
    if (sections[i].characteristics & 0x40) initialized += sections[i].raw_size;
  }
  for (const PeSection& s : tail) {
    if (s.characteristics & 0x40) initialized += static_cast<uint32_t>(AlignUp(s.raw_size, file_alignment));
  }
  Set32(output, optional + 8, initialized);
  Set32(output, optional + 64, PeChecksum(output, optional + 64));
  return true;
}

}  // namespace qor::convert
