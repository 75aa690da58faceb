#include "crash/modules/file_version.h"

#include <windows.h>

#include <vector>

namespace qor {

uint64_t FileVersion(const std::string& path) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return 0;
  std::vector<char> block(size);
  if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return 0;
  void* value = nullptr;
  UINT length = 0;
  char root[] = "\\";
  if (!VerQueryValueA(block.data(), root, &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) {
    return 0;
  }
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  if (fixed->dwSignature != 0xFEEF04BD) return 0;
  return uint64_t{fixed->dwFileVersionMS} << 32 | fixed->dwFileVersionLS;
}

}  // namespace qor
