#include "crash/debuginfo/debug_info_cache.h"

#include <new>
#include <vector>

#include "crash/attach/case_compare.h"
#include "crash/debuginfo/file_stamp.h"

namespace qor {
namespace {

constexpr uint32_t kMemCommit = 0x1000;

struct CacheEntry {
  uint32_t stamp = 0;
  std::shared_ptr<const TMapFile> map;
};

// Grows only between loads; reports are composed one at a time, which is
// what keeps this unlocked store consistent.
std::vector<CacheEntry>& Cache() {
  static std::vector<CacheEntry> cache;
  return cache;
}

std::shared_ptr<const TMapFile> CacheLookup(const std::string& file_name) {
  std::vector<CacheEntry>& cache = Cache();
  for (size_t i = 0; i < cache.size(); ++i) {
    if (!EqualNoCase(cache[i].map->ModuleFileName, file_name)) continue;
    uint32_t stamp = 0;
    if (FileStamp(file_name, stamp) && stamp == cache[i].stamp) return cache[i].map;
    cache[i] = std::move(cache.back());
    cache.pop_back();
    return nullptr;
  }
  return nullptr;
}

void CacheAdd(std::shared_ptr<const TMapFile> map) {
  uint32_t stamp = 0;
  FileStamp(map->MapFileName, stamp);
  Cache().push_back(CacheEntry{stamp, std::move(map)});
}

std::shared_ptr<const TMapFile> LoadForAddress(const MemoryReader& memory, uint32_t address,
                                               ModuleFileNameFn module_file_name) {
  MemoryRegion region;
  std::string file_name;
  if (!memory.QueryRegion(address, region) || region.state != kMemCommit ||
      region.allocation_base == 0 || !module_file_name(region.allocation_base, file_name)) {
    return nullptr;
  }
  if (auto cached = CacheLookup(file_name)) return cached;
  auto map = std::make_shared<TMapFile>();
  if (!map->Load(memory, region.allocation_base, file_name, false)) return map;
  CacheAdd(map);
  return map;
}

}  // namespace

std::shared_ptr<const TMapFile> DebugInfoForAddress(const MemoryReader& memory, uint32_t address,
                                                    ModuleFileNameFn module_file_name) {
  try {
    if (auto map = LoadForAddress(memory, address, module_file_name)) return map;
  } catch (const std::exception&) {
    // Out of memory while loading: fall through to the invalid object.
  }
  return std::make_shared<const TMapFile>();
}

void ClearDebugInfoCache() { Cache().clear(); }

bool GetAddressInfo(const TMapFile& map, uint32_t address, AddressInfo& info) {
  if (address == 0 || !map.Valid) return false;
  info.module_file_name = map.ModuleFileName;
  info.unit_name = map.SegmentAt(SymbolKind::kCode, address).UnitName;
  const TMfPublic item = map.PublicAt(address);
  info.public_address = item.Address;
  info.public_name = item.Name;
  const int32_t line = map.LineAt(address);
  info.line = line < 0 ? 0 : line;
  return true;
}

std::string ProcedureNameAt(const TMapFile& map, uint32_t address) {
  const TMfPublic item = map.PublicAt(address);
  if (!item.Valid || item.Address != address) return {};
  const std::string unit = map.SegmentAt(SymbolKind::kCode, address).UnitName;
  std::string name = unit.empty() ? item.Name : unit + "." + item.Name;
  if (name.find('%') != std::string::npos) {
    const size_t slash = map.ModuleFileName.find_last_of("/\\");
    name += " (" + map.ModuleFileName.substr(slash == std::string::npos ? 0 : slash + 1) + ")";
  }
  return name;
}

void LineAtCached(const TMapFile& map, uint32_t address, int32_t& line, uint32_t& range_start,
                  uint32_t& range_end) {
  if (address == 0 || (line != 0 && range_start <= address && address < range_end)) return;
  const int32_t found = map.LineAt(address, &range_end);
  line = found < 0 ? 0 : found;
  range_start = address;
}

}  // namespace qor
