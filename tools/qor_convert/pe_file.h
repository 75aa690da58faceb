// A linked PE32 file as bytes: its headers, its sections with their full
// names (long names live in the COFF string table) and its COFF symbols.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qor::convert {

struct PeSection {
  std::string name;
  uint32_t virtual_size = 0;
  uint32_t virtual_address = 0;
  uint32_t raw_size = 0;
  uint32_t raw_pointer = 0;
  uint32_t characteristics = 0;
};

struct CoffSymbol {
  std::string name;
  uint32_t value = 0;    // offset in its section
  int16_t section = 0;   // 1-based; 0 and below: no section
  uint16_t type = 0;     // 0x20: function
  uint8_t storage = 0;   // 2 external, 3 static
};

class PeFile {
 public:
  // False, with `error` set, when `bytes` is not a PE32 file whose headers
  // and section table lie inside it.
  bool Parse(std::vector<uint8_t> bytes, std::string& error);

  const std::vector<uint8_t>& bytes() const { return bytes_; }
  const std::vector<PeSection>& sections() const { return sections_; }
  const std::vector<CoffSymbol>& symbols() const { return symbols_; }
  uint32_t image_base() const { return image_base_; }
  uint32_t entry_point_rva() const { return entry_point_rva_; }
  uint32_t nt_offset() const { return nt_offset_; }
  uint32_t optional_offset() const { return nt_offset_ + 24; }
  uint32_t section_table_offset() const { return section_table_; }

  // The section named `name`, or nullptr.
  const PeSection* Find(const std::string& name) const;
  // The file bytes of `section` (its raw data, at most its virtual size).
  std::span<const uint8_t> Contents(const PeSection& section) const;
  // The first code section (the one BaseOfCode refers to for readers).
  const PeSection* FirstCodeSection() const;

 private:
  bool ReadSymbols(std::string& error);
  std::string LongName(const char* short_name) const;

  std::vector<uint8_t> bytes_;
  std::vector<PeSection> sections_;
  std::vector<CoffSymbol> symbols_;
  uint32_t image_base_ = 0;
  uint32_t entry_point_rva_ = 0;
  uint32_t nt_offset_ = 0;
  uint32_t section_table_ = 0;
  uint32_t symbol_table_ = 0;
  uint32_t symbol_count_ = 0;
  uint32_t string_table_ = 0;
};

uint16_t Get16(std::span<const uint8_t> bytes, size_t at);
uint32_t Get32(std::span<const uint8_t> bytes, size_t at);
void Set16(std::vector<uint8_t>& bytes, size_t at, uint16_t value);
void Set32(std::vector<uint8_t>& bytes, size_t at, uint32_t value);

}  // namespace qor::convert
