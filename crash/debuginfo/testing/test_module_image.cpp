#include "crash/debuginfo/testing/test_module_image.h"

#include <cstring>

namespace qor::test {
namespace {

constexpr uint32_t kNt = 0x80;
constexpr uint32_t kOptional = kNt + 24;
constexpr uint32_t kSections = kOptional + 0xE0;

void Put16(std::vector<uint8_t>& out, uint32_t at, uint16_t value) {
  out[at] = static_cast<uint8_t>(value);
  out[at + 1] = static_cast<uint8_t>(value >> 8);
}

void Put32(std::vector<uint8_t>& out, uint32_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

void PutSection(std::vector<uint8_t>& out, int index, const char* name, uint32_t rva,
                uint32_t size, uint32_t characteristics) {
  const uint32_t at = kSections + 40u * static_cast<uint32_t>(index);
  std::memcpy(&out[at], name, std::strlen(name));
  Put32(out, at + 8, size);
  Put32(out, at + 12, rva);
  Put32(out, at + 16, size);
  Put32(out, at + 20, rva);
  Put32(out, at + 36, characteristics);
}

}  // namespace

std::vector<uint8_t> TestModule::Memory() const {
  const std::vector<uint8_t> resource_bytes = BuildResourceSection(resources, resource_rva);
  std::vector<uint8_t> out(resource_rva + resource_bytes.size() + 0x100);
  out[0] = 'M';
  out[1] = 'Z';
  Put32(out, 0x3C, kNt);
  std::memcpy(&out[kNt], "PE\0\0", 4);
  Put16(out, kNt + 4, 0x14C);
  int count = 0;
  PutSection(out, count++, ".text", code_rva, code_size, 0x60000020);
  if (second_code_size) {
    PutSection(out, count++, ".text2", code_rva + code_size, second_code_size, 0x60000020);
  }
  PutSection(out, count++, ".data", data_rva, data_size, 0xC0000040);
  PutSection(out, count++, ".rsrc", resource_rva, static_cast<uint32_t>(resource_bytes.size()),
             0x40000040);
  Put16(out, kNt + 6, static_cast<uint16_t>(count));
  Put16(out, kNt + 20, 0xE0);
  Put16(out, kOptional, 0x10B);
  Put32(out, kOptional + 4, code_size + second_code_size);
  Put32(out, kOptional + 8, data_size);
  Put32(out, kOptional + 20, code_rva);
  Put32(out, kOptional + 24, data_rva);
  Put32(out, kOptional + 56, static_cast<uint32_t>(out.size()));
  Put32(out, kOptional + 92, 16);
  if (!resources.empty()) {
    Put32(out, kOptional + 96 + 16, resource_rva);
    Put32(out, kOptional + 96 + 20, static_cast<uint32_t>(resource_bytes.size()));
  }
  std::memcpy(&out[resource_rva], resource_bytes.data(), resource_bytes.size());
  return out;
}

}  // namespace qor::test
