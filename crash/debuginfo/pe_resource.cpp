#include "crash/debuginfo/pe_resource.h"

#include "crash/modules/pe_image.h"

namespace qor {
namespace {

constexpr uint32_t kHighBit = 0x80000000u;
// Names longer than this cannot be a key we look for.
constexpr uint16_t kMaxNameLength = 256;

bool NameMatches(const MemoryReader& memory, uint32_t address, std::string_view want) {
  uint16_t length = 0;
  if (!ReadU16(memory, address, length) || length != want.size() || length > kMaxNameLength) {
    return false;
  }
  for (uint16_t i = 0; i < length; ++i) {
    uint16_t c = 0;
    if (!ReadU16(memory, address + 2 + 2u * i, c)) return false;
    auto upper = [](uint16_t x) { return x >= 'a' && x <= 'z' ? uint16_t(x - 32) : x; };
    if (upper(c) != upper(static_cast<unsigned char>(want[i]))) return false;
  }
  return true;
}

// The OffsetToData field of the entry of `directory` that matches `key`,
// the first entry when `key` is null; false when none does.
bool FindEntry(const MemoryReader& memory, uint32_t root, uint32_t directory,
               const ResourceKey* key, uint32_t& offset) {
  uint16_t named = 0;
  uint16_t numbered = 0;
  if (!ReadU16(memory, directory + 12, named) || !ReadU16(memory, directory + 14, numbered)) {
    return false;
  }
  for (uint32_t i = 0; i < uint32_t{named} + numbered; ++i) {
    const uint32_t entry = directory + 16 + 8 * i;
    uint32_t name = 0;
    if (!ReadU32(memory, entry, name) || !ReadU32(memory, entry + 4, offset)) return false;
    if (!key) return true;
    const bool is_named = (name & kHighBit) != 0;
    if (key->name.empty() ? !is_named && name == key->id
                          : is_named && NameMatches(memory, root + (name & ~kHighBit), key->name)) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::vector<uint8_t> ReadResource(const MemoryReader& memory, uint32_t base, ResourceKey type,
                                  ResourceKey name, uint32_t max_size) {
  const uint32_t root = DataDirectoryAddress(memory, base, kResourceDirectory);
  if (root == 0) return {};
  uint32_t offset = 0;
  // Three levels (type, name, language); each must lead to a subdirectory
  // except the last, which must lead to a data entry.
  if (!FindEntry(memory, root, root, &type, offset) || !(offset & kHighBit)) return {};
  if (!FindEntry(memory, root, root + (offset & ~kHighBit), &name, offset) ||
      !(offset & kHighBit)) {
    return {};
  }
  if (!FindEntry(memory, root, root + (offset & ~kHighBit), nullptr, offset) ||
      (offset & kHighBit)) {
    return {};
  }
  uint32_t rva = 0;
  uint32_t size = 0;
  if (!ReadU32(memory, root + offset, rva) || !ReadU32(memory, root + offset + 4, size) ||
      size > max_size) {
    return {};
  }
  std::vector<uint8_t> bytes(size);
  if (!memory.ReadAll(base + rva, bytes.data(), size)) return {};
  return bytes;
}

}  // namespace qor
