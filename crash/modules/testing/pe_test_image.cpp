#include "crash/modules/testing/pe_test_image.h"

#include <algorithm>
#include <cstring>

namespace qor::test {
namespace {

void Put16(std::vector<uint8_t>& bytes, uint32_t offset, uint16_t value) {
  if (bytes.size() < offset + 2) bytes.resize(offset + 2);
  bytes[offset] = value & 0xff;
  bytes[offset + 1] = value >> 8;
}

void PutText(std::vector<uint8_t>& bytes, uint32_t offset, const std::string& text) {
  if (bytes.size() < offset + text.size() + 1) bytes.resize(offset + text.size() + 1);
  std::memcpy(bytes.data() + offset, text.c_str(), text.size() + 1);
}

}  // namespace

void Put32(std::vector<uint8_t>& bytes, uint32_t offset, uint32_t value) {
  Put16(bytes, offset, value & 0xffff);
  Put16(bytes, offset + 2, value >> 16);
}

void TestPeImage::AddSection(uint32_t va, uint32_t raw, std::vector<uint8_t> bytes,
                             uint32_t characteristics, const std::string& name) {
  sections_.push_back(Section{va, raw, characteristics, std::move(bytes), name.substr(0, 8)});
}

void TestPeImage::SetExports(uint32_t va, uint32_t raw, uint32_t ordinal_base,
                             const std::vector<TestExport>& exports) {
  const uint32_t count = static_cast<uint32_t>(exports.size());
  uint32_t named = 0;
  for (const TestExport& e : exports) named += !e.name.empty();
  // Directory, address table, name table, ordinal table, then the texts.
  const uint32_t functions = 40, names = functions + 4 * count, ordinals = names + 4 * named;
  uint32_t text = ordinals + 2 * named;
  std::vector<uint8_t> d(text);
  Put32(d, 16, ordinal_base);
  Put32(d, 20, count);
  Put32(d, 24, named);
  Put32(d, 28, va + functions);
  Put32(d, 32, va + names);
  Put32(d, 36, va + ordinals);
  uint32_t slot = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const TestExport& e = exports[i];
    uint32_t rva = e.rva;
    if (!e.forwarder.empty()) {
      rva = va + text;
      PutText(d, text, e.forwarder);
      text += static_cast<uint32_t>(e.forwarder.size()) + 1;
    }
    Put32(d, functions + 4 * i, rva);
    if (e.name.empty()) continue;
    Put32(d, names + 4 * slot, va + text);
    Put16(d, ordinals + 2 * slot, static_cast<uint16_t>(i));
    PutText(d, text, e.name);
    text += static_cast<uint32_t>(e.name.size()) + 1;
    ++slot;
  }
  d.resize(text);
  export_rva_ = va;
  export_size_ = text;
  AddSection(va, raw, std::move(d));
}

std::vector<uint8_t> TestPeImage::Headers() const {
  std::vector<uint8_t> h(0x200);
  h[0] = 'M';
  h[1] = 'Z';
  Put32(h, 60, kNtOffset);
  Put32(h, kNtOffset, 0x00004550);
  const uint32_t file = kNtOffset + 4, optional = file + 20;
  Put16(h, file, 0x14c);
  Put16(h, file + 2, static_cast<uint16_t>(sections_.size()));
  Put16(h, file + 16, 224);
  Put16(h, optional, 0x10b);
  Put32(h, optional + 56, image_size);
  Put32(h, optional + 92, 16);
  Put32(h, optional + 96, export_rva_);
  Put32(h, optional + 100, export_size_);
  uint32_t header = optional + 224;
  for (const Section& s : sections_) {
    std::copy(s.name.begin(), s.name.end(), h.begin() + header);
    Put32(h, header + 8, static_cast<uint32_t>(s.bytes.size()));
    Put32(h, header + 12, s.va);
    Put32(h, header + 16, static_cast<uint32_t>(s.bytes.size()));
    Put32(h, header + 20, s.raw);
    Put32(h, header + 36, s.characteristics);
    header += 40;
  }
  return h;
}

std::vector<uint8_t> TestPeImage::Memory() const {
  std::vector<uint8_t> image = Headers();
  image.resize(image_size);
  for (const Section& s : sections_) {
    std::copy(s.bytes.begin(), s.bytes.end(), image.begin() + s.va);
  }
  return image;
}

std::vector<uint8_t> TestPeImage::File() const {
  std::vector<uint8_t> file = Headers();
  for (const Section& s : sections_) {
    if (file.size() < s.raw + s.bytes.size()) file.resize(s.raw + s.bytes.size());
    std::copy(s.bytes.begin(), s.bytes.end(), file.begin() + s.raw);
  }
  return file;
}

}  // namespace qor::test
