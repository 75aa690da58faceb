#include "crash/modules/debug_id.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "crash/modules/pe_image.h"

namespace qor {
namespace {

constexpr uint32_t kCodeViewType = 2;       // IMAGE_DEBUG_TYPE_CODEVIEW
constexpr uint32_t kEntrySize = 28;         // IMAGE_DEBUG_DIRECTORY
constexpr uint32_t kRsdsFixedSize = 24;     // signature, GUID, age
constexpr uint32_t kMaxRecordSize = 0x1000; // a path and a little more
constexpr uint32_t kMaxEntries = 64;

uint32_t Le32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

}  // namespace

bool ParseCodeViewRecord(const std::vector<uint8_t>& bytes, CodeViewRecord& record) {
  if (bytes.size() <= kRsdsFixedSize || std::memcmp(bytes.data(), "RSDS", 4) != 0) return false;
  const auto name_begin = bytes.begin() + kRsdsFixedSize;
  const auto terminator = std::find(name_begin, bytes.end(), uint8_t{0});
  if (terminator == bytes.end()) return false;
  std::memcpy(record.guid, bytes.data() + 4, sizeof record.guid);
  record.age = Le32(bytes.data() + 20);
  record.debug_file.assign(name_begin, terminator);
  record.bytes = bytes;
  return true;
}

bool ReadCodeViewRecord(const MemoryReader& memory, uint32_t base, CodeViewRecord& record) {
  DataDirectory directory;
  if (!ReadDataDirectory(memory, base, kDebugDirectory, directory)) return false;
  const uint32_t entries = std::min(directory.size / kEntrySize, kMaxEntries);
  for (uint32_t i = 0; i < entries; ++i) {
    uint8_t entry[kEntrySize];
    if (!memory.ReadAll(base + directory.rva + i * kEntrySize, entry, sizeof entry)) return false;
    const uint32_t type = Le32(entry + 12), size = Le32(entry + 16), rva = Le32(entry + 20);
    if (type != kCodeViewType || rva == 0 || size > kMaxRecordSize) continue;
    std::vector<uint8_t> bytes(size);
    if (memory.ReadAll(base + rva, bytes.data(), size) && ParseCodeViewRecord(bytes, record)) {
      return true;
    }
  }
  return false;
}

std::string DebugIdText(const CodeViewRecord& record) {
  const uint8_t* g = record.guid;
  char text[48];
  std::snprintf(text, sizeof text, "%08X%04X%04X", Le32(g), unsigned(g[4] | g[5] << 8),
                unsigned(g[6] | g[7] << 8));
  std::string id = text;
  for (int i = 8; i < 16; ++i) {
    std::snprintf(text, sizeof text, "%02X", g[i]);
    id += text;
  }
  std::snprintf(text, sizeof text, "%X", record.age);
  return id + text;
}

std::string DebugFileName(const CodeViewRecord& record) {
  const size_t slash = record.debug_file.find_last_of("/\\");
  return slash == std::string::npos ? record.debug_file : record.debug_file.substr(slash + 1);
}

}  // namespace qor
