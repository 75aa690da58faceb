// Where a TMapFile's tables come from: the module's own compact resource,
// the tool chain's TD32 information, then the companion files beside the
// module.
#include <span>
#include <string>

#include "crash/debuginfo/compact_reader.h"
#include "crash/debuginfo/jdbg_reader.h"
#include "crash/debuginfo/map_file.h"
#include "crash/debuginfo/pe_resource.h"
#include "crash/debuginfo/table_builder.h"
#include "crash/debuginfo/td32_source.h"
#include "crash/debuginfo/text_map_reader.h"
#include "crash/debuginfo/whole_file.h"
#include "crash/modules/pe_image.h"

namespace qor {
namespace {

constexpr ResourceKey kDebugInfoType{0, "QOR"};
constexpr ResourceKey kDebugInfoName{0, "EXCEPT"};
constexpr ResourceKey kSettingsName{0, "TQOREXCEPT"};

// The module's file name without its extension. Only a "." in the last path
// component starts an extension: a dotted folder name must not be cut.
std::string CompanionBase(const std::string& file_name) {
  const size_t dot = file_name.rfind('.');
  const size_t slash = file_name.find_last_of("/\\");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return file_name;
  return file_name.substr(0, dot);
}

// Reads compact data into `map`. On failure the tables are left empty so the
// next source starts clean.
bool ReadCompact(std::span<const uint8_t> data, const CompactHeader& header, TMapFile& map) {
  const std::vector<uint8_t> payload = DecodeCompactPayload(data, header);
  const bool minimal = (header.flags & kCompactFlagMinimal) != 0;
  if (!payload.empty() && ReadCompactPayload(payload, minimal, map)) {
    ReadCompactInlines(data, header, map);
    return true;
  }
  ClearTables(map);
  return false;
}

// The companion ".qor" file of a minimal-mode module: taken only when its
// own key is the one the module's settings name. A version-2 file has no
// key parts, so it can never prove that it belongs to the module.
bool ReadMatchingCompanion(TMapFile& map) {
  if (map.MinDebugInfo.empty()) return false;
  std::vector<uint8_t> bytes;
  CompactHeader header;
  if (!ReadWholeFile(CompanionBase(map.MapFileName) + ".qor", bytes) ||
      !ParseCompactHeader(bytes, header) || header.version != 3 ||
      CompactFileKey(static_cast<uint32_t>(bytes.size()), header.key_a, header.key_b) !=
          map.MinDebugInfo) {
    return false;
  }
  return ReadCompact(bytes, header, map);
}

bool ReadResourceSource(const MemoryReader& memory, TMapFile& map) {
  const std::vector<uint8_t> data = ReadResource(memory, map.Handle, kDebugInfoType, kDebugInfoName);
  CompactHeader header;
  if (!ParseCompactHeader(data, header)) return false;
  if (header.version == 3 && (header.flags & kCompactFlagMinimal)) {
    map.MinDebugInfo =
        FindMinDebugInfo(ReadResource(memory, map.Handle, kRcData, kSettingsName));
    if (ReadMatchingCompanion(map)) return true;
  } else {
    map.MinDebugInfo.clear();
  }
  return ReadCompact(data, header, map);
}

}  // namespace

void TMapFile::SetRangesFromHeaders(const MemoryReader& memory, uint32_t nt_headers) {
  const ModuleRanges ranges = ReadModuleRanges(memory, Handle, nt_headers);
  BaseOfCode = ranges.code_begin;
  TopOfCode = ranges.code_end;
  BaseOfData = ranges.data_begin;
  TopOfData = ranges.data_end;
}

bool TMapFile::Load(const MemoryReader& memory, uint32_t handle, const std::string& file_name,
                    bool code_only) {
  CodeOnly = code_only;
  MapFileName = file_name;
  Handle = handle;
  const uint32_t nt_headers = handle ? NtHeaders(memory, handle) : 0;
  if (nt_headers) {
    SetRangesFromHeaders(memory, nt_headers);
    ModuleFileName = file_name;
    Valid = ReadResourceSource(memory, *this) ||
            ReadTd32Source(memory, nt_headers, CompanionBase(MapFileName), *this) ||
            LoadCompanionFiles();
  } else {
    Valid = ReadTd32Source(memory, 0, CompanionBase(MapFileName), *this) || LoadCompanionFiles();
  }
  if (LineCount > 0) SortLines();
  return Valid;
}

// A text map that can be read ends the search whatever it held: it is the
// linker's own account of the module.
bool TMapFile::LoadCompanionFiles() {
  const std::string base = CompanionBase(MapFileName);
  std::vector<uint8_t> bytes;
  if (ReadWholeFile(base + ".map", bytes)) {
    ReadTextMap(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), *this);
    return true;
  }
  CompactHeader header;
  if (ReadWholeFile(base + ".qor", bytes) && ParseCompactHeader(bytes, header) &&
      ReadCompact(bytes, header, *this)) {
    return true;
  }
  return ReadJdbgFile(base + ".jdbg", *this);
}

}  // namespace qor
