// Reading the headers of a PE image through a MemoryReader: the image as
// loaded in memory (addresses are module base + RVA) or a file's bytes placed
// at address 0 (addresses are file offsets). Every reader fails soft: an
// unreadable or malformed header gives false or 0, never a fault.
#pragma once

#include <cstdint>

#include "crash/modules/memory_reader.h"

namespace qor {

inline constexpr uint32_t kSectionCode = 0x20;  // IMAGE_SCN_CNT_CODE
inline constexpr uint32_t kExportDirectory = 0;
inline constexpr uint32_t kResourceDirectory = 2;

struct DataDirectory {
  uint32_t rva = 0;
  uint32_t size = 0;
};

struct SectionHeader {
  char name[8] = {};
  uint32_t virtual_size = 0;
  uint32_t virtual_address = 0;
  uint32_t raw_size = 0;
  uint32_t raw_pointer = 0;
  uint32_t characteristics = 0;
};

// Reads a little-endian value; false when not all of its bytes are readable.
bool ReadU16(const MemoryReader& memory, uint32_t address, uint16_t& value);
bool ReadU32(const MemoryReader& memory, uint32_t address, uint32_t& value);

// Address of the "PE\0\0" signature of the image at `base`; 0 when the image
// has no readable "MZ" header or the signature is missing.
uint32_t NtHeaders(const MemoryReader& memory, uint32_t base);

// SizeOfImage of the optional header; 0 when it cannot be read.
uint32_t ImageSize(const MemoryReader& memory, uint32_t nt_headers);

// Entry `index` of the data directory; false without NT headers, when the
// image has fewer entries, or when the entry's RVA is 0.
bool ReadDataDirectory(const MemoryReader& memory, uint32_t base, uint32_t index,
                       DataDirectory& directory);

// base + RVA of directory `index`, or 0 as ReadDataDirectory fails.
uint32_t DataDirectoryAddress(const MemoryReader& memory, uint32_t base, uint32_t index);

// Number of section headers and the address of the first one; false when the
// file header cannot be read.
bool SectionTable(const MemoryReader& memory, uint32_t nt_headers, uint32_t& count,
                  uint32_t& first);

// Section header `index`; false when it cannot be read or is out of range.
bool ReadSection(const MemoryReader& memory, uint32_t nt_headers, uint32_t index,
                 SectionHeader& section);

// Where a loaded module keeps its code and its data, as absolute addresses.
struct ModuleRanges {
  uint32_t code_begin = 0;
  uint32_t code_end = 0;
  uint32_t data_begin = 0;
  uint32_t data_end = 0;
};

// The code runs from the first section when that holds code, to the end of
// the second when that holds code too; otherwise BaseOfCode and SizeOfCode
// of the optional header say where. The data starts at BaseOfData and spans
// the initialised and uninitialised sizes. Unreadable fields count as 0.
ModuleRanges ReadModuleRanges(const MemoryReader& memory, uint32_t base, uint32_t nt_headers);

// File offset of `rva`: inside the section whose virtual address is the last
// one at or below it (the last section is open-ended); the RVA itself when no
// section holds it, as for the headers.
uint32_t RvaToFileOffset(const MemoryReader& memory, uint32_t nt_headers, uint32_t rva);

}  // namespace qor
