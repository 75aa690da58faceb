#include "crash/core/import_table.h"

#include "crash/modules/pe_image.h"

namespace qor {
namespace {

constexpr uint32_t kImportDirectory = 1;
constexpr uint32_t kDescriptorSize = 20;
constexpr uint32_t kNameField = 12;
constexpr uint32_t kFirstThunkField = 16;

// The address tables of the descriptors (RVAs); false when one of them lies
// beyond the directory.
bool ReadTables(const MemoryReader& memory, uint32_t base, const DataDirectory& directory,
                std::vector<uint32_t>& tables) {
  const uint64_t directory_end = uint64_t{directory.rva} + directory.size;
  for (uint32_t i = 0; i < kMaxImportDescriptors; ++i) {
    const uint32_t descriptor = base + directory.rva + i * kDescriptorSize;
    uint32_t name = 0, first_thunk = 0;
    if (!ReadU32(memory, descriptor + kNameField, name) || name == 0) break;
    if (!ReadU32(memory, descriptor + kFirstThunkField, first_thunk)) break;
    if (first_thunk >= directory_end) return false;
    if (first_thunk != 0) tables.push_back(first_thunk);
  }
  return true;
}

}  // namespace

ImportScan FindImportSlots(const MemoryReader& memory, uint32_t base, uint32_t value,
                           std::vector<uint32_t>& slots) {
  DataDirectory directory;
  if (NtHeaders(memory, base) == 0 ||
      !ReadDataDirectory(memory, base, kImportDirectory, directory)) {
    return ImportScan::kNoTable;
  }
  std::vector<uint32_t> tables;
  if (!ReadTables(memory, base, directory, tables)) return ImportScan::kInvalid;
  for (uint32_t table : tables) {
    for (uint32_t i = 0; i < kMaxImportEntries; ++i) {
      const uint32_t slot = base + table + 4 * i;
      uint32_t entry = 0;
      if (!ReadU32(memory, slot, entry) || entry == 0) break;
      if (entry == value) slots.push_back(slot);
    }
  }
  return ImportScan::kScanned;
}

}  // namespace qor
