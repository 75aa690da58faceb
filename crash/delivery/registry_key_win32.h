// A registry key opened for reading, closed on every path.
#pragma once

#include <windows.h>

namespace qor {

class RegistryKey {
 public:
  // Does not throw; get() is null when the key could not be opened.
  RegistryKey(HKEY parent, const char* path) {
    if (RegOpenKeyExA(parent, path, 0, KEY_READ, &key_) != ERROR_SUCCESS) key_ = nullptr;
  }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  ~RegistryKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace qor
