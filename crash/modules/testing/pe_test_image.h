// Builds small PE images for tests: headers, sections and an export table,
// laid out either as loaded in memory or as the file on disk.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qor::test {

struct TestExport {
  std::string name;       // empty: exported by ordinal only
  uint32_t rva = 0;       // ignored for a forwarder
  std::string forwarder;  // "MODULE.Function": the entry points at this text
};

class TestPeImage {
 public:
  static constexpr uint32_t kNtOffset = 0x80;

  // Adds a section with `bytes` at RVA `va` in memory and at `raw` in the
  // file; `name` is cut to the eight characters a header holds.
  void AddSection(uint32_t va, uint32_t raw, std::vector<uint8_t> bytes,
                  uint32_t characteristics = 0x40000040, const std::string& name = {});

  // Adds a section at `va`/`raw` that holds an export directory listing
  // `exports` in order, the first with ordinal `ordinal_base`.
  void SetExports(uint32_t va, uint32_t raw, uint32_t ordinal_base,
                  const std::vector<TestExport>& exports);

  // The image as the loader maps it (SizeOfImage bytes) and as a file.
  std::vector<uint8_t> Memory() const;
  std::vector<uint8_t> File() const;

  uint32_t image_size = 0x4000;

 private:
  struct Section {
    uint32_t va, raw, characteristics;
    std::vector<uint8_t> bytes;
    std::string name;
  };
  std::vector<uint8_t> Headers() const;

  std::vector<Section> sections_;
  uint32_t export_rva_ = 0;
  uint32_t export_size_ = 0;
};

// Writes `value` little-endian at `offset`, growing `bytes` when needed.
void Put32(std::vector<uint8_t>& bytes, uint32_t offset, uint32_t value);

}  // namespace qor::test
