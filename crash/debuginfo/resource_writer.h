// Laying out a PE resource section: the directory tree (type, name,
// language), its name strings, data entries and the data itself. The
// converter writes a program's resources with it; tests build images.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qor {

// A number when `name` is empty, else a name (stored upper-case, as the
// system's resource search expects).
struct ResourceLabel {
  uint16_t id = 0;
  std::string name;
};

struct ResourceItem {
  ResourceLabel type;
  ResourceLabel name;
  uint16_t language = 0;
  uint32_t code_page = 0;
  std::vector<uint8_t> data;
};

// The bytes of a resource section placed at `section_rva`. Entries of each
// directory are sorted as the system's binary search needs: names first
// (by upper-case text), then numbers ascending.
std::vector<uint8_t> BuildResourceSection(const std::vector<ResourceItem>& items,
                                          uint32_t section_rva);

}  // namespace qor
