#include "crash/modules/testing/eh_test_tables.h"

namespace qor::test {
namespace {

void U32(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void Uleb(std::vector<uint8_t>& out, uint32_t value) {
  do {
    const auto byte = static_cast<uint8_t>(value & 0x7F);
    value >>= 7;
    out.push_back(value ? byte | 0x80 : byte);
  } while (value);
}

void WithLength(std::vector<uint8_t>& out, const std::vector<uint8_t>& body) {
  U32(out, static_cast<uint32_t>(body.size()));
  out.insert(out.end(), body.begin(), body.end());
}

}  // namespace

std::vector<uint8_t> EhFrameSection(uint32_t section_address, uint32_t function, uint32_t size,
                                    uint32_t lsda) {
  std::vector<uint8_t> cie = {0, 0, 0, 0, 1, 'z', 'P', 'L', 'R', 0, 1, 0x7C, 8};
  // Augmentation data: personality (pc-relative, 4 bytes), LSDA absolute,
  // records pc-relative.
  cie.insert(cie.end(), {7, 0x1B, 0, 0, 0, 0, 0x00, 0x1B, 0, 0, 0});
  std::vector<uint8_t> out;
  WithLength(out, cie);
  const uint32_t fde_at = static_cast<uint32_t>(out.size());
  std::vector<uint8_t> fde;
  U32(fde, fde_at + 4);  // back to the common entry
  U32(fde, function - (section_address + fde_at + 8));
  U32(fde, size);
  fde.push_back(4);
  U32(fde, lsda);
  fde.insert(fde.end(), {0, 0, 0});
  WithLength(out, fde);
  U32(out, 0);
  return out;
}

std::vector<uint8_t> LsdaTable(const std::vector<CallSite>& sites) {
  std::vector<uint8_t> table;
  for (const CallSite& site : sites) {
    Uleb(table, site.start);
    Uleb(table, site.length);
    Uleb(table, site.pad);
    Uleb(table, 0);
  }
  std::vector<uint8_t> out = {0xFF, 0xFF, 0x01};
  Uleb(out, static_cast<uint32_t>(table.size()));
  out.insert(out.end(), table.begin(), table.end());
  return out;
}

}  // namespace qor::test
