// Libraries loaded at run time, which may be absent, and their functions
// looked up by name.
#pragma once

#include <windows.h>

namespace qor {

// The function `name` of `module` as type `Proc`; null when either is
// missing.
template <typename Proc>
Proc ProcAddress(HMODULE module, const char* name) {
  if (module == nullptr) return nullptr;
  // Through the generic function type, which any function type converts to.
  return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// A library loaded for the lifetime of the object.
class Library {
 public:
  explicit Library(const char* name) : module_(LoadLibraryA(name)) {}
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  ~Library() {
    if (module_ != nullptr) FreeLibrary(module_);
  }

  template <typename Proc>
  Proc Find(const char* name) const {
    return ProcAddress<Proc>(module_, name);
  }

 private:
  HMODULE module_;
};

}  // namespace qor
