// The modules loaded in the current process (Windows only).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qor {

struct TModule {
  uint32_t Handle = 0;    // base address
  std::string FileName;   // without its path
  std::string Directory;  // with its trailing "\"
  std::string Version;    // "major.minor.release.build"; only when asked for
  std::string DebugId;    // of its CodeView record (debug_id.h); only when asked for
};

// Ascending by address.
using TDAModule = std::vector<TModule>;

// Walks the address space: every committed region that starts its own
// allocation, differs from the previous module and has a module file name
// is a module. With `with_versions`, each module's file version and debug
// id are read (empty when the file has none).
TDAModule EnumModules(bool with_versions);

}  // namespace qor
