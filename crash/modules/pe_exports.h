// The export table of a PE image: addresses by name or ordinal, and the
// export name of a code address. Portable over a MemoryReader; the hooks say
// how to reach the rest of the process (other modules, the module's file on
// disk, the system's own lookup) and may be left empty.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "crash/modules/memory_reader.h"

namespace qor {

struct ExportHooks {
  // Base of the loaded module named `name` (as written in a forwarder, for
  // example "NTDLL"); 0 when no such module is loaded.
  std::function<uint32_t(std::string_view name)> find_module;
  // Lets another unit vouch for an in-memory RVA that looks patched (beyond
  // the image); true keeps it without reading the file.
  std::function<bool(uint32_t module, uint32_t index, uint32_t rva)> accept_memory_rva;
  // Reads entry `index` of the module's export address table from its file
  // on disk; false when the file cannot be read.
  std::function<bool(uint32_t module, uint32_t index, uint32_t& rva)> file_rva;
  // The system's own procedure lookup, used when the table gives nothing.
  std::function<uint32_t(uint32_t module, std::string_view name)> system_by_name;
  std::function<uint32_t(uint32_t module, uint32_t ordinal)> system_by_ordinal;
};

// Address of the export `name` (exact, case-sensitive) of the module at
// `module`, forwarders followed. With `check_file`, or when the table's RVA
// lies beyond the image, the RVA is taken from the module's file. 0 when
// nothing is found.
uint32_t ExportAddressByName(const MemoryReader& memory, uint32_t module, std::string_view name,
                             bool check_file, const ExportHooks& hooks);

// Address of the export with `ordinal` (biased by the table's Base), as
// ExportAddressByName. 0 when nothing is found.
uint32_t ExportAddressByOrdinal(const MemoryReader& memory, uint32_t module, uint32_t ordinal,
                                const ExportHooks& hooks);

// Name of the export whose address is `address`: its name, "#" + ordinal
// for an export without a name, "" when no export has that address. With
// `unmangle`, a mangled name becomes unit + "." + readable name.
std::string ExportNameOfAddress(const MemoryReader& memory, uint32_t module, uint32_t address,
                                bool unmangle);

// Entry `index` of the export address table of a PE file whose bytes are
// placed at address 0 of `file`; false when the file's headers or table
// cannot be read or the index is out of range.
bool ExportRvaFromFile(const MemoryReader& file, uint32_t index, uint32_t& rva);

}  // namespace qor
