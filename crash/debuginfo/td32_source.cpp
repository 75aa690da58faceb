#include "crash/debuginfo/td32_source.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "crash/attach/case_compare.h"
#include "crash/debuginfo/file_day.h"
#include "crash/debuginfo/file_reader.h"
#include "crash/debuginfo/td32_reader.h"
#include "crash/modules/pe_image.h"

namespace qor {
namespace {

constexpr uint32_t kDebugDirectory = 6;
constexpr uint32_t kDebugEntrySize = 28;
constexpr uint32_t kChunk = 0x10000;

// Code in the first two sections, as the store's ranges see it.
bool HasTwoCodeSections(const MemoryReader& image, uint32_t nt_headers) {
  SectionHeader first, second;
  return ReadSection(image, nt_headers, 0, first) && (first.characteristics & kSectionCode) &&
         ReadSection(image, nt_headers, 1, second) && (second.characteristics & kSectionCode);
}

// `size` bytes at `address`, read in pieces so that a size field that
// promises more than there is never decides an allocation by itself.
bool ReadBlock(const MemoryReader& image, uint32_t address, uint32_t size,
               std::vector<uint8_t>& bytes) {
  bytes.clear();
  while (bytes.size() < size) {
    const uint32_t piece = std::min<uint32_t>(kChunk, size - static_cast<uint32_t>(bytes.size()));
    const size_t at = bytes.size();
    bytes.resize(at + piece);
    if (!image.ReadAll(address + static_cast<uint32_t>(at), bytes.data() + at, piece)) return false;
  }
  return true;
}

bool EndsWithNoCase(const std::string& text, std::string_view ending) {
  return text.size() >= ending.size() &&
         EqualNoCase(std::string_view(text).substr(text.size() - ending.size()), ending);
}

// A ".tds" file older by day than the map file of the same build.
bool Outdated(const std::string& tds, const std::string& map_file) {
  int64_t tds_day = 0, map_day = 0;
  return FileDay(tds, tds_day) && FileDay(map_file, map_day) && tds_day < map_day;
}

bool ReadTd32File(const std::string& path, bool two_code_sections, TMapFile& map) {
  const FileReader file(path);
  if (!file.IsOpen()) return false;
  if (NtHeaders(file, 0) != 0) return ReadLinkedTd32(file, 0, true, map);
  // Other files are not read whole unless they start like TD32 data.
  std::vector<uint8_t> bytes;
  if (two_code_sections || file.Size() > UINT32_MAX || !ReadBlock(file, 0, 4, bytes) ||
      !HasTd32Signature(bytes)) {
    return false;
  }
  return ReadBlock(file, 0, static_cast<uint32_t>(file.Size()), bytes) && ReadTd32(bytes, map);
}

}  // namespace

bool ReadLinkedTd32(const MemoryReader& image, uint32_t base, bool file_layout, TMapFile& map) {
  const uint32_t nt = NtHeaders(image, base);
  DataDirectory directory;
  if (nt == 0 || (file_layout && HasTwoCodeSections(image, nt)) ||
      !ReadDataDirectory(image, base, kDebugDirectory, directory) ||
      directory.size < kDebugEntrySize) {
    return false;
  }
  const uint32_t entry =
      file_layout ? RvaToFileOffset(image, nt, directory.rva) : base + directory.rva;
  uint32_t size = 0, rva = 0, pointer = 0;
  if (!ReadU32(image, entry + 16, size) || !ReadU32(image, entry + 20, rva) ||
      !ReadU32(image, entry + 24, pointer)) {
    return false;
  }
  // Data that the loader did not map has no address in the image.
  if (!file_layout &&
      (rva == 0 || rva >= ImageSize(image, nt) || size > ImageSize(image, nt) - rva)) {
    return false;
  }
  std::vector<uint8_t> bytes;
  return ReadBlock(image, file_layout ? pointer : base + rva, size, bytes) && ReadTd32(bytes, map);
}

bool ReadTd32Source(const MemoryReader& memory, uint32_t nt_headers,
                    const std::string& companion_base, TMapFile& map) {
  const bool two_code_sections = nt_headers != 0 && HasTwoCodeSections(memory, nt_headers);
  if (nt_headers != 0 && !two_code_sections && ReadLinkedTd32(memory, map.Handle, false, map)) {
    return true;
  }
  const std::string map_file = companion_base + ".map";
  if (EndsWithNoCase(map.MapFileName, ".tds")) {
    return !Outdated(map.MapFileName, map_file) &&
           ReadTd32File(map.MapFileName, two_code_sections, map);
  }
  const std::string tds = companion_base + ".tds";
  if (FileReader(tds).IsOpen() && !Outdated(tds, map_file)) {
    return ReadTd32File(tds, two_code_sections, map);
  }
  return ReadTd32File(map.MapFileName, two_code_sections, map);
}

}  // namespace qor
