// Values read from the registry for the report's facts (Windows only).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace qor {

// The value `name` of key `path` under `root` (null or "" for the default
// value): its size is asked first and it is read into a buffer of twice
// that size; a REG_SZ value is taken up to its first NUL, any other type
// byte for byte. Empty when the key or the value is missing.
std::string RegistryText(HKEY root, const char* path, const char* name);

// True, with the number, when the value is exactly 4 bytes long.
bool RegistryDword(HKEY root, const char* path, const char* name, uint32_t& value);

}  // namespace qor
