// Numbers of the TD32 debug format that its reader and the test writer
// share: subsection types, fixed header sizes and symbol record kinds.
#pragma once

#include <cstdint>

namespace qor::td32 {

inline constexpr uint16_t kModule = 0x120;
inline constexpr uint16_t kPublics = 0x125;
inline constexpr uint16_t kSourceModule = 0x127;
inline constexpr uint16_t kGlobalSymbols = 0x129;
inline constexpr uint16_t kNames = 0x130;

inline constexpr uint32_t kDirectoryHeaderSize = 16;
inline constexpr uint32_t kDirectoryEntrySize = 12;
inline constexpr uint32_t kModuleHeaderSize = 0x1C;
inline constexpr uint32_t kModuleSegmentSize = 12;
inline constexpr uint32_t kGlobalSymbolsHeaderSize = 32;
inline constexpr uint32_t kPublicsHeaderSize = 4;

// Symbol records: procedures, data, and the publics subsection's records.
inline constexpr uint16_t kLocalProcedure = 0x204;
inline constexpr uint16_t kGlobalProcedure = 0x205;
inline constexpr uint16_t kLocalData = 0x201;
inline constexpr uint16_t kGlobalData = 0x202;
inline constexpr uint16_t kCodePublic = 0x20;
inline constexpr uint16_t kDataPublic = 0x21;

}  // namespace qor::td32
