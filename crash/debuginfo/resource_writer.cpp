#include "crash/debuginfo/resource_writer.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace qor {
namespace {

constexpr uint32_t kHighBit = 0x80000000u;

struct Key {
  bool named;
  std::string name;  // upper-case
  uint16_t id;
  bool operator<(const Key& other) const {
    if (named != other.named) return named;
    return named ? name < other.name : id < other.id;
  }
};

Key MakeKey(const ResourceLabel& label) {
  std::string upper = label.name;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return Key{!label.name.empty(), upper, label.id};
}

void Put16(std::vector<uint8_t>& out, size_t at, uint16_t value) {
  out[at] = static_cast<uint8_t>(value);
  out[at + 1] = static_cast<uint8_t>(value >> 8);
}

void Put32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

void Align(std::vector<uint8_t>& out, size_t alignment) {
  out.resize((out.size() + alignment - 1) / alignment * alignment);
}

using Languages = std::map<uint16_t, const ResourceItem*>;
using Names = std::map<Key, Languages>;
using Types = std::map<Key, Names>;

// Writes a directory header with room for `count` entries; returns the
// offset of its first entry.
size_t AddDirectory(std::vector<uint8_t>& out, size_t named, size_t count) {
  const size_t at = out.size();
  out.resize(at + 16 + 8 * count);
  Put16(out, at + 12, static_cast<uint16_t>(named));
  Put16(out, at + 14, static_cast<uint16_t>(count - named));
  return at + 16;
}

template <typename Children>
size_t CountNamed(const Children& children) {
  return static_cast<size_t>(std::count_if(children.begin(), children.end(),
                                           [](const auto& c) { return c.first.named; }));
}

}  // namespace

std::vector<uint8_t> BuildResourceSection(const std::vector<ResourceItem>& items,
                                          uint32_t section_rva) {
  Types types;
  for (const ResourceItem& item : items) {
    types[MakeKey(item.type)][MakeKey(item.name)][item.language] = &item;
  }
  std::vector<uint8_t> out;
  // Entries whose name field must point at a string, filled in at the end.
  std::vector<std::pair<size_t, std::string>> named_entries;
  std::vector<std::pair<size_t, const ResourceItem*>> data_entries;

  size_t type_entry = AddDirectory(out, CountNamed(types), types.size());
  for (const auto& [type_key, names] : types) {
    if (type_key.named) named_entries.emplace_back(type_entry, type_key.name);
    else Put32(out, type_entry, type_key.id);
    Put32(out, type_entry + 4, kHighBit | static_cast<uint32_t>(out.size()));
    size_t name_entry = AddDirectory(out, CountNamed(names), names.size());
    for (const auto& [name_key, languages] : names) {
      if (name_key.named) named_entries.emplace_back(name_entry, name_key.name);
      else Put32(out, name_entry, name_key.id);
      Put32(out, name_entry + 4, kHighBit | static_cast<uint32_t>(out.size()));
      size_t language_entry = AddDirectory(out, 0, languages.size());
      for (const auto& [language, item] : languages) {
        Put32(out, language_entry, language);
        data_entries.emplace_back(language_entry + 4, item);
        language_entry += 8;
      }
      name_entry += 8;
    }
    type_entry += 8;
  }
  for (const auto& [entry, name] : named_entries) {
    Put32(out, entry, kHighBit | static_cast<uint32_t>(out.size()));
    const size_t at = out.size();
    out.resize(at + 2 + 2 * name.size());
    Put16(out, at, static_cast<uint16_t>(name.size()));
    for (size_t i = 0; i < name.size(); ++i) Put16(out, at + 2 + 2 * i, static_cast<uint8_t>(name[i]));
  }
  Align(out, 4);
  std::vector<size_t> data_entry_at;
  for (const auto& [entry, item] : data_entries) {
    Put32(out, entry, static_cast<uint32_t>(out.size()));
    data_entry_at.push_back(out.size());
    out.resize(out.size() + 16);
  }
  for (size_t i = 0; i < data_entries.size(); ++i) {
    Align(out, 8);
    const ResourceItem& item = *data_entries[i].second;
    Put32(out, data_entry_at[i], section_rva + static_cast<uint32_t>(out.size()));
    Put32(out, data_entry_at[i] + 4, static_cast<uint32_t>(item.data.size()));
    Put32(out, data_entry_at[i] + 8, item.code_page);
    out.insert(out.end(), item.data.begin(), item.data.end());
  }
  Align(out, 8);
  return out;
}

}  // namespace qor
