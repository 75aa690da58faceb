#include "crash/modules/pe_exports.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "crash/modules/pe_image.h"
#include "crash/modules/unmangle.h"

namespace qor {
namespace {

// Forwarders can point at each other; a chain longer than this is a loop.
constexpr int kMaxForwarderDepth = 8;
constexpr uint32_t kMaxNameLength = 512;

struct ExportTable {
  uint32_t module = 0;
  uint32_t directory_rva = 0;
  uint32_t directory_size = 0;
  uint32_t image_size = 0;
  uint32_t ordinal_base = 0;
  uint32_t function_count = 0;
  uint32_t name_count = 0;
  uint32_t functions = 0;  // addresses of the three tables
  uint32_t names = 0;
  uint32_t ordinals = 0;
};

// False when the module has no readable export directory.
bool ReadExportTable(const MemoryReader& memory, uint32_t module, ExportTable& table) {
  DataDirectory directory;
  if (!ReadDataDirectory(memory, module, kExportDirectory, directory)) return false;
  uint32_t raw[10];
  if (!memory.ReadAll(module + directory.rva, raw, sizeof raw)) return false;
  table.module = module;
  table.directory_rva = directory.rva;
  table.directory_size = directory.size;
  table.image_size = ImageSize(memory, NtHeaders(memory, module));
  table.ordinal_base = raw[4];
  table.function_count = raw[5];
  table.name_count = raw[6];
  table.functions = module + raw[7];
  table.names = module + raw[8];
  table.ordinals = module + raw[9];
  return true;
}

// Reads one array of an export table in blocks, so that walking a table of
// a thousand entries costs a few reads rather than a thousand.
template <typename T>
class TableReader {
 public:
  TableReader(const MemoryReader& memory, uint32_t address, uint32_t count)
      : memory_(memory), address_(address), count_(count) {}

  // False when entry `index` is out of range or unreadable.
  bool Get(uint32_t index, T& value) {
    if (index >= count_) return false;
    if (index < first_ || index - first_ >= cached_) {
      uint32_t want = std::min<uint32_t>(kBlock, count_ - index);
      uint32_t bytes = memory_.Read(address_ + index * sizeof(T), block_, want * sizeof(T));
      first_ = index;
      cached_ = bytes / sizeof(T);
      if (cached_ == 0) return false;
    }
    value = block_[index - first_];
    return true;
  }

 private:
  static constexpr uint32_t kBlock = 256;
  const MemoryReader& memory_;
  uint32_t address_;
  uint32_t count_;
  T block_[kBlock];
  uint32_t first_ = 0;
  uint32_t cached_ = 0;
};

bool NameEquals(const MemoryReader& memory, uint32_t address, std::string_view name) {
  std::vector<char> bytes(name.size() + 1);
  if (!memory.ReadAll(address, bytes.data(), static_cast<uint32_t>(bytes.size()))) return false;
  return bytes.back() == '\0' && std::memcmp(bytes.data(), name.data(), name.size()) == 0;
}

// The zero-terminated text at `address`, cut at kMaxNameLength or at the
// first unreadable byte.
std::string ReadText(const MemoryReader& memory, uint32_t address) {
  std::string text;
  char chunk[64];
  while (text.size() < kMaxNameLength) {
    uint32_t got = memory.Read(address + static_cast<uint32_t>(text.size()), chunk, sizeof chunk);
    char* end = std::find(chunk, chunk + got, '\0');
    text.append(chunk, end);
    if (end != chunk + got || got < sizeof chunk) break;
  }
  return text.substr(0, kMaxNameLength);
}

uint32_t ByName(const MemoryReader& memory, uint32_t module, std::string_view name,
                bool check_file, const ExportHooks& hooks, int depth);
uint32_t ByOrdinal(const MemoryReader& memory, uint32_t module, uint32_t ordinal,
                   const ExportHooks& hooks, int depth);

// "MODULE.Function" or "MODULE.#ordinal", resolved in the named module. The
// function is what follows the last dot: a module name may hold dots itself
// (Wine forwards to "krnl386.exe16.Name").
uint32_t FollowForwarder(const MemoryReader& memory, const std::string& text,
                         const ExportHooks& hooks, int depth) {
  size_t dot = text.rfind('.');
  if (dot == std::string::npos || depth >= kMaxForwarderDepth || !hooks.find_module) return 0;
  uint32_t target = hooks.find_module(std::string_view(text).substr(0, dot));
  if (target == 0) return 0;
  std::string function = text.substr(dot + 1);
  if (function.size() > 1 && function[0] == '#') {
    uint32_t ordinal = 0;
    for (char c : function.substr(1)) {
      if (c < '0' || c > '9') return 0;
      ordinal = ordinal * 10 + static_cast<uint32_t>(c - '0');
    }
    return ByOrdinal(memory, target, ordinal, hooks, depth + 1);
  }
  return ByName(memory, target, function, false, hooks, depth + 1);
}

// Address of export-table entry `index`; 0 when it cannot be resolved.
uint32_t ResolveIndex(const MemoryReader& memory, const ExportTable& table, uint32_t index,
                      bool check_file, const ExportHooks& hooks, int depth) {
  uint32_t rva = 0;
  if (index >= table.function_count || !ReadU32(memory, table.functions + index * 4, rva)) {
    return 0;
  }
  // An RVA beyond the image means the table in memory was patched; the
  // file on disk holds the original.
  if (check_file || rva >= table.image_size) {
    bool vouched = hooks.accept_memory_rva && hooks.accept_memory_rva(table.module, index, rva);
    if (!vouched && !(hooks.file_rva && hooks.file_rva(table.module, index, rva))) return 0;
  }
  if (rva == 0) return 0;
  if (rva >= table.directory_rva && rva - table.directory_rva < table.directory_size) {
    return FollowForwarder(memory, ReadText(memory, table.module + rva), hooks, depth);
  }
  return table.module + rva;
}

uint32_t FindInTable(const MemoryReader& memory, uint32_t module, std::string_view name,
                     bool check_file, const ExportHooks& hooks, int depth) {
  ExportTable table;
  if (!ReadExportTable(memory, module, table)) return 0;
  TableReader<uint32_t> names(memory, table.names, table.name_count);
  uint32_t name_rva = 0;
  for (uint32_t i = 0; names.Get(i, name_rva); ++i) {
    if (!NameEquals(memory, module + name_rva, name)) continue;
    uint16_t index = 0;
    if (!ReadU16(memory, table.ordinals + i * 2, index)) return 0;
    return ResolveIndex(memory, table, index, check_file, hooks, depth);
  }
  return 0;
}

uint32_t ByName(const MemoryReader& memory, uint32_t module, std::string_view name,
                bool check_file, const ExportHooks& hooks, int depth) {
  uint32_t address = FindInTable(memory, module, name, check_file, hooks, depth);
  if (address == 0 && hooks.system_by_name) address = hooks.system_by_name(module, name);
  return address;
}

uint32_t ByOrdinal(const MemoryReader& memory, uint32_t module, uint32_t ordinal,
                   const ExportHooks& hooks, int depth) {
  ExportTable table;
  uint32_t address = 0;
  if (ReadExportTable(memory, module, table)) {
    address = ResolveIndex(memory, table, ordinal - table.ordinal_base, false, hooks, depth);
  }
  if (address == 0 && hooks.system_by_ordinal) address = hooks.system_by_ordinal(module, ordinal);
  return address;
}

// Index of the first address-table entry that points at `address`.
bool FindFunctionIndex(const MemoryReader& memory, const ExportTable& table, uint32_t address,
                       uint32_t& index) {
  TableReader<uint32_t> functions(memory, table.functions, table.function_count);
  uint32_t rva = 0;
  for (index = 0; functions.Get(index, rva); ++index) {
    if (table.module + rva == address) return true;
  }
  return false;
}

}  // namespace

uint32_t ExportAddressByName(const MemoryReader& memory, uint32_t module, std::string_view name,
                             bool check_file, const ExportHooks& hooks) {
  return ByName(memory, module, name, check_file, hooks, 0);
}

uint32_t ExportAddressByOrdinal(const MemoryReader& memory, uint32_t module, uint32_t ordinal,
                                const ExportHooks& hooks) {
  return ByOrdinal(memory, module, ordinal, hooks, 0);
}

std::string ExportNameOfAddress(const MemoryReader& memory, uint32_t module, uint32_t address,
                                bool unmangle) {
  ExportTable table;
  if (!ReadExportTable(memory, module, table)) return {};
  uint32_t index = 0;
  if (!FindFunctionIndex(memory, table, address, index)) return {};

  TableReader<uint16_t> ordinals(memory, table.ordinals, table.name_count);
  uint16_t ordinal = 0;
  for (uint32_t i = 0; ordinals.Get(i, ordinal); ++i) {
    if (ordinal != index) continue;
    uint32_t name_rva = 0;
    if (!ReadU32(memory, table.names + i * 4, name_rva)) break;
    std::string name = ReadText(memory, module + name_rva);
    std::string unit;
    if (unmangle && Unmangle(name, unit) && !unit.empty()) name = unit + "." + name;
    return name;
  }
  return "#" + std::to_string(table.ordinal_base + index);
}

bool ExportRvaFromFile(const MemoryReader& file, uint32_t index, uint32_t& rva) {
  uint32_t nt = NtHeaders(file, 0);
  DataDirectory directory;
  if (nt == 0 || !ReadDataDirectory(file, 0, kExportDirectory, directory)) return false;
  uint32_t offset = RvaToFileOffset(file, nt, directory.rva);
  uint32_t count = 0, functions = 0;
  if (!ReadU32(file, offset + 20, count) || !ReadU32(file, offset + 28, functions) ||
      index >= count) {
    return false;
  }
  return ReadU32(file, RvaToFileOffset(file, nt, functions) + index * 4, rva);
}

}  // namespace qor
