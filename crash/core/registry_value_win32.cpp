#include "crash/core/registry_value_win32.h"

#include <cstring>
#include <vector>

#include "crash/delivery/registry_key_win32.h"

namespace qor {

std::string RegistryText(HKEY root, const char* path, const char* name) {
  const RegistryKey key(root, path);
  if (key.get() == nullptr) return {};
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return {};
  // Twice the size: a value may grow between the two calls.
  std::vector<char> buffer(size_t{size} * 2 + 1);
  DWORD length = static_cast<DWORD>(buffer.size() - 1);
  if (RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                       &length) != ERROR_SUCCESS) {
    return {};
  }
  if (type == REG_SZ) return std::string(buffer.data(), strnlen(buffer.data(), length));
  return std::string(buffer.data(), length);
}

bool RegistryDword(HKEY root, const char* path, const char* name, uint32_t& value) {
  const std::string bytes = RegistryText(root, path, name);
  if (bytes.size() != sizeof value) return false;
  std::memcpy(&value, bytes.data(), sizeof value);
  return true;
}

}  // namespace qor
