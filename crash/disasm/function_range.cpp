#include "crash/disasm/function_range.h"

#include <algorithm>

#include "crash/modules/pe_image.h"

namespace qor {
namespace {


// Code sections as the stack walker sees them: the first one, extended by
// a second.
bool CodeSections(const MemoryReader& memory, uint32_t base, uint32_t nt, AddressRange& code) {
  uint32_t count = 0, first = 0;
  if (!SectionTable(memory, nt, count, first)) return false;
  int found = 0;
  for (uint32_t i = 0; i < count && found < 2; ++i) {
    SectionHeader s;
    if (!ReadSection(memory, nt, i, s) || !(s.characteristics & kSectionCode)) continue;
    const uint32_t size = std::max(s.virtual_size, 1u);
    const AddressRange r{base + s.virtual_address, base + s.virtual_address + size - 1};
    code = found ? AddressRange{std::min(code.first, r.first), std::max(code.last, r.last)} : r;
    ++found;
  }
  return found > 0;
}

}  // namespace

AddressRange ModuleRange(const MemoryReader& memory, uint32_t entry, const MemoryRegion& region) {
  const AddressRange fallback{region.base, region.base + region.size - 1};
  const uint32_t base = region.allocation_base;
  const uint32_t nt = NtHeaders(memory, base);
  uint32_t code_size, data_size, bss_size, code_base, data_base;
  if (!nt || !ReadU32(memory, nt + 28, code_size) || !ReadU32(memory, nt + 32, data_size) ||
      !ReadU32(memory, nt + 36, bss_size) || !ReadU32(memory, nt + 44, code_base) ||
      !ReadU32(memory, nt + 48, data_base))
    return fallback;
  AddressRange range;
  if (!CodeSections(memory, base, nt, range)) {
    if (!code_size) return fallback;
    range = {base + code_base, base + code_base + code_size - 1};
  }
  const uint32_t data_len = data_size + bss_size;
  if (data_len) {
    range.first = std::min(range.first, base + data_base);
    range.last = std::max(range.last, base + data_base + data_len - 1);
  }
  if (entry < range.first || entry > range.last) return fallback;
  return range;
}

}  // namespace qor
