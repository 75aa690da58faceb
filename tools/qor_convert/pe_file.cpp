#include "tools/qor_convert/pe_file.h"

#include <algorithm>
#include <cstring>

namespace qor::convert {
namespace {
constexpr uint32_t kSymbolSize = 18;
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kCodeFlag = 0x20;
}  // namespace

uint16_t Get16(std::span<const uint8_t> bytes, size_t at) {
  return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

uint32_t Get32(std::span<const uint8_t> bytes, size_t at) {
  return uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 |
         uint32_t{bytes[at + 3]} << 24;
}

void Set16(std::vector<uint8_t>& bytes, size_t at, uint16_t value) {
  bytes[at] = static_cast<uint8_t>(value);
  bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

void Set32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

bool PeFile::Parse(std::vector<uint8_t> bytes, std::string& error) {
  bytes_ = std::move(bytes);
  const size_t size = bytes_.size();
  if (size < 0x40 || bytes_[0] != 'M' || bytes_[1] != 'Z') {
    error = "no MZ header";
    return false;
  }
  nt_offset_ = Get32(bytes_, 0x3C);
  if (uint64_t{nt_offset_} + 24 + 96 > size || std::memcmp(&bytes_[nt_offset_], "PE\0\0", 4) != 0 ||
      Get16(bytes_, optional_offset()) != 0x10B) {
    error = "not a PE32 image";
    return false;
  }
  const uint32_t section_count = Get16(bytes_, nt_offset_ + 6);
  symbol_table_ = Get32(bytes_, nt_offset_ + 12);
  symbol_count_ = Get32(bytes_, nt_offset_ + 16);
  section_table_ = optional_offset() + Get16(bytes_, nt_offset_ + 20);
  entry_point_rva_ = Get32(bytes_, optional_offset() + 16);
  image_base_ = Get32(bytes_, optional_offset() + 28);
  if (uint64_t{section_table_} + uint64_t{section_count} * kSectionHeaderSize > size) {
    error = "section table beyond the end of the file";
    return false;
  }
  // The string table follows the symbols; both must lie in the file, and
  // the offsets are computed wide so that a huge count cannot wrap them.
  const uint64_t strings = uint64_t{symbol_table_} + uint64_t{symbol_count_} * kSymbolSize;
  if (symbol_table_ && strings + 4 > size) {
    error = "symbol table beyond the end of the file";
    return false;
  }
  string_table_ = symbol_table_ ? static_cast<uint32_t>(strings) : 0;
  if (!symbol_table_) symbol_count_ = 0;
  sections_.clear();
  for (uint32_t i = 0; i < section_count; ++i) {
    const uint32_t at = section_table_ + i * kSectionHeaderSize;
    PeSection s;
    s.name = LongName(reinterpret_cast<const char*>(&bytes_[at]));
    s.virtual_size = Get32(bytes_, at + 8);
    s.virtual_address = Get32(bytes_, at + 12);
    s.raw_size = Get32(bytes_, at + 16);
    s.raw_pointer = Get32(bytes_, at + 20);
    s.characteristics = Get32(bytes_, at + 36);
    if (uint64_t{s.raw_pointer} + s.raw_size > size) {
      error = "section " + s.name + " beyond the end of the file";
      return false;
    }
    sections_.push_back(s);
  }
  return ReadSymbols(error);
}

// "/123" names a string at offset 123 of the string table.
std::string PeFile::LongName(const char* short_name) const {
  std::string name(short_name, strnlen(short_name, 8));
  if (name.size() < 2 || name[0] != '/' || !string_table_) return name;
  const uint64_t offset = std::strtoul(name.c_str() + 1, nullptr, 10);
  const uint64_t at = uint64_t{string_table_} + offset;
  if (at >= bytes_.size()) return name;
  const char* text = reinterpret_cast<const char*>(&bytes_[static_cast<size_t>(at)]);
  return std::string(text, strnlen(text, bytes_.size() - static_cast<size_t>(at)));
}

bool PeFile::ReadSymbols(std::string& error) {
  symbols_.clear();
  for (uint32_t i = 0; i < symbol_count_; ++i) {
    const uint32_t at = symbol_table_ + i * kSymbolSize;
    CoffSymbol symbol;
    if (Get32(bytes_, at) == 0) {
      const uint64_t text = uint64_t{string_table_} + Get32(bytes_, at + 4);
      if (text >= bytes_.size()) {
        error = "symbol name beyond the end of the file";
        return false;
      }
      const char* name = reinterpret_cast<const char*>(&bytes_[static_cast<size_t>(text)]);
      symbol.name.assign(name, strnlen(name, bytes_.size() - static_cast<size_t>(text)));
    } else {
      const char* name = reinterpret_cast<const char*>(&bytes_[at]);
      symbol.name.assign(name, strnlen(name, 8));
    }
    symbol.value = Get32(bytes_, at + 8);
    symbol.section = static_cast<int16_t>(Get16(bytes_, at + 12));
    symbol.type = Get16(bytes_, at + 14);
    symbol.storage = bytes_[at + 16];
    symbols_.push_back(symbol);
    i += bytes_[at + 17];  // auxiliary records
  }
  return true;
}

const PeSection* PeFile::Find(const std::string& name) const {
  for (const PeSection& s : sections_) {
    if (s.name == name) return &s;
  }
  return nullptr;
}

std::span<const uint8_t> PeFile::Contents(const PeSection& section) const {
  const uint32_t size = section.virtual_size ? std::min(section.raw_size, section.virtual_size)
                                             : section.raw_size;
  return {bytes_.data() + section.raw_pointer, size};
}

const PeSection* PeFile::FirstCodeSection() const {
  return !sections_.empty() && (sections_[0].characteristics & kCodeFlag) ? &sections_[0] : nullptr;
}

}  // namespace qor::convert
