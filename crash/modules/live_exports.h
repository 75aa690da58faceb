// Export-table lookups in the modules of the current process (Windows only).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "crash/modules/pe_exports.h"

namespace qor {

// The hooks for the current process: loaded modules by name, the module's
// file on disk, and the system's own lookup. Process-wide; another unit may
// set accept_memory_rva once at start-up.
ExportHooks& LiveExportHooks();

// The pe_exports.h lookups over the current process's memory, read safely.
uint32_t LiveExportAddressByName(uint32_t module, std::string_view name, bool check_file = false);
uint32_t LiveExportAddressByOrdinal(uint32_t module, uint32_t ordinal);
std::string LiveExportNameOfAddress(uint32_t module, uint32_t address, bool unmangle);

}  // namespace qor
