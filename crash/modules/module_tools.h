// The module that holds an address, and its resources (Windows only).
#pragma once

#include <cstdint>
#include <string>

namespace qor {

// Base and full file name of the module whose image holds `address`; false
// when the address is not in committed memory of a loaded module.
bool ModuleOfAddress(uint32_t address, uint32_t& base, std::string& file_name);

// The file name of the module at `base` in the system's ANSI code page;
// empty when no module is loaded there.
std::string ModuleFileName(uint32_t base);

// The raw bytes of resource `name` of `type` in `module`; empty when the
// resource is missing. `type` and `name` may be integer identifiers made
// with MAKEINTRESOURCE.
std::string ResourceAsString(uint32_t module, const char* type, const char* name);

}  // namespace qor
