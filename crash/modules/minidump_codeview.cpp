#include "crash/modules/minidump_codeview.h"

namespace qor {
namespace {

constexpr uint32_t kSignature = 0x504D444D;  // "MDMP"
constexpr uint32_t kModuleListStream = 4;
constexpr uint32_t kModuleSize = 108;         // MINIDUMP_MODULE
constexpr uint32_t kCodeViewAt = 76;          // its CvRecord location
constexpr uint32_t kMaxModules = 4096;

uint32_t Get32(const std::vector<uint8_t>& b, uint64_t at) {
  return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 | uint32_t{b[at + 3]} << 24;
}

void Set32(std::vector<uint8_t>& b, uint64_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

bool Holds(const std::vector<uint8_t>& b, uint64_t at, uint64_t size) {
  return at <= b.size() && size <= b.size() - at;
}

// Offset of the first module entry and their count; false when the dump
// has no module list that lies inside it.
bool FindModules(const std::vector<uint8_t>& dump, uint32_t& first, uint32_t& count) {
  if (!Holds(dump, 0, 32) || Get32(dump, 0) != kSignature) return false;
  const uint32_t streams = Get32(dump, 8), directory = Get32(dump, 12);
  if (!Holds(dump, directory, uint64_t{streams} * 12)) return false;
  for (uint32_t i = 0; i < streams; ++i) {
    const uint64_t entry = directory + uint64_t{i} * 12;
    if (Get32(dump, entry) != kModuleListStream) continue;
    const uint32_t size = Get32(dump, entry + 4), rva = Get32(dump, entry + 8);
    if (!Holds(dump, rva, size) || size < 4) return false;
    count = Get32(dump, rva);
    first = rva + 4;
    return count <= kMaxModules && uint64_t{count} * kModuleSize <= size - 4;
  }
  return false;
}

}  // namespace

uint32_t AddMissingCodeViewRecords(std::vector<uint8_t>& dump, const CodeViewLookup& lookup) {
  uint32_t first = 0, count = 0, added = 0;
  if (!FindModules(dump, first, count)) return 0;
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t module = first + uint64_t{i} * kModuleSize;
    if (Get32(dump, module + kCodeViewAt) != 0) continue;
    // Modules of a 32-bit process lie below 4 GB.
    if (Get32(dump, module + 4) != 0) continue;
    std::vector<uint8_t> record;
    if (!lookup(Get32(dump, module), record) || record.empty()) continue;
    dump.resize((dump.size() + 3) & ~size_t{3});
    if (dump.size() + record.size() > UINT32_MAX) break;
    Set32(dump, module + kCodeViewAt, static_cast<uint32_t>(record.size()));
    Set32(dump, module + kCodeViewAt + 4, static_cast<uint32_t>(dump.size()));
    dump.insert(dump.end(), record.begin(), record.end());
    ++added;
  }
  return added;
}

}  // namespace qor
