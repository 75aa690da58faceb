#include "crash/modules/pe_image.h"

#include <cstring>

namespace qor {
namespace {

constexpr uint32_t kNtSignature = 0x00004550;  // "PE\0\0"
constexpr uint16_t kMagicPe32Plus = 0x20b;
constexpr uint32_t kOptionalHeader = 24;       // from the signature
constexpr uint32_t kSectionHeaderSize = 40;

}  // namespace

bool ReadU16(const MemoryReader& memory, uint32_t address, uint16_t& value) {
  uint8_t bytes[2];
  if (!memory.ReadAll(address, bytes, sizeof bytes)) return false;
  value = static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
  return true;
}

bool ReadU32(const MemoryReader& memory, uint32_t address, uint32_t& value) {
  uint8_t bytes[4];
  if (!memory.ReadAll(address, bytes, sizeof bytes)) return false;
  value = uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
          uint32_t{bytes[3]} << 24;
  return true;
}

uint32_t NtHeaders(const MemoryReader& memory, uint32_t base) {
  char mz[2];
  if (!memory.ReadAll(base, mz, sizeof mz) || mz[0] != 'M' || mz[1] != 'Z') return 0;
  uint32_t offset = 0, signature = 0;
  if (!ReadU32(memory, base + 60, offset)) return 0;
  uint32_t nt = base + offset;
  if (nt == 0 || !ReadU32(memory, nt, signature) || signature != kNtSignature) return 0;
  return nt;
}

uint32_t ImageSize(const MemoryReader& memory, uint32_t nt_headers) {
  uint32_t size = 0;
  return ReadU32(memory, nt_headers + kOptionalHeader + 56, size) ? size : 0;
}

bool ReadDataDirectory(const MemoryReader& memory, uint32_t base, uint32_t index,
                       DataDirectory& directory) {
  uint32_t nt = NtHeaders(memory, base);
  uint16_t magic = 0;
  if (nt == 0 || !ReadU16(memory, nt + kOptionalHeader, magic)) return false;
  // The directory follows the optional header's fixed part, which is 16
  // bytes longer in the 64-bit layout.
  uint32_t fixed = magic == kMagicPe32Plus ? 112 : 96;
  uint32_t count = 0;
  if (!ReadU32(memory, nt + kOptionalHeader + fixed - 4, count) || index >= count) return false;
  uint32_t entry = nt + kOptionalHeader + fixed + index * 8;
  if (!ReadU32(memory, entry, directory.rva) || !ReadU32(memory, entry + 4, directory.size)) {
    return false;
  }
  return directory.rva != 0;
}

uint32_t DataDirectoryAddress(const MemoryReader& memory, uint32_t base, uint32_t index) {
  DataDirectory directory;
  return ReadDataDirectory(memory, base, index, directory) ? base + directory.rva : 0;
}

bool SectionTable(const MemoryReader& memory, uint32_t nt_headers, uint32_t& count,
                  uint32_t& first) {
  uint16_t sections = 0, optional_size = 0;
  if (!ReadU16(memory, nt_headers + 6, sections) ||
      !ReadU16(memory, nt_headers + 20, optional_size)) {
    return false;
  }
  count = sections;
  first = nt_headers + kOptionalHeader + optional_size;
  return true;
}

bool ReadSection(const MemoryReader& memory, uint32_t nt_headers, uint32_t index,
                 SectionHeader& section) {
  uint32_t count = 0, first = 0;
  if (!SectionTable(memory, nt_headers, count, first) || index >= count) return false;
  uint8_t raw[kSectionHeaderSize];
  if (!memory.ReadAll(first + index * kSectionHeaderSize, raw, sizeof raw)) return false;
  std::memcpy(section.name, raw, 8);
  std::memcpy(&section.virtual_size, raw + 8, 4);
  std::memcpy(&section.virtual_address, raw + 12, 4);
  std::memcpy(&section.raw_size, raw + 16, 4);
  std::memcpy(&section.raw_pointer, raw + 20, 4);
  std::memcpy(&section.characteristics, raw + 36, 4);
  return true;
}

ModuleRanges ReadModuleRanges(const MemoryReader& memory, uint32_t base, uint32_t nt_headers) {
  const uint32_t optional = nt_headers + 24;
  uint32_t size_of_code = 0, initialized = 0, uninitialized = 0, base_of_code = 0,
           base_of_data = 0;
  ReadU32(memory, optional + 4, size_of_code);
  ReadU32(memory, optional + 8, initialized);
  ReadU32(memory, optional + 12, uninitialized);
  ReadU32(memory, optional + 20, base_of_code);
  ReadU32(memory, optional + 24, base_of_data);
  ModuleRanges ranges;
  SectionHeader first, second;
  if (ReadSection(memory, nt_headers, 0, first) && (first.characteristics & kSectionCode)) {
    ranges.code_begin = base + first.virtual_address;
    ranges.code_end = ranges.code_begin + first.virtual_size;
    if (ReadSection(memory, nt_headers, 1, second) && (second.characteristics & kSectionCode)) {
      ranges.code_end = base + second.virtual_address + second.virtual_size;
    }
  } else {
    ranges.code_begin = base + base_of_code;
    ranges.code_end = ranges.code_begin + size_of_code;
  }
  ranges.data_begin = base + base_of_data;
  ranges.data_end = ranges.data_begin + initialized + uninitialized;
  return ranges;
}

uint32_t RvaToFileOffset(const MemoryReader& memory, uint32_t nt_headers, uint32_t rva) {
  uint32_t count = 0, first = 0;
  if (!SectionTable(memory, nt_headers, count, first)) return rva;
  SectionHeader current, next;
  if (count == 0 || !ReadSection(memory, nt_headers, 0, current)) return rva;
  for (uint32_t i = 0; i < count; ++i) {
    bool last = i + 1 == count || !ReadSection(memory, nt_headers, i + 1, next);
    if (current.virtual_address <= rva && (last || rva < next.virtual_address)) {
      return rva - current.virtual_address + current.raw_pointer;
    }
    if (last) break;
    current = next;
  }
  return rva;
}

}  // namespace qor
