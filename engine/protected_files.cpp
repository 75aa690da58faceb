#include "engine/protected_files.h"

namespace engine {

ProtectedFiles::ProtectedFiles(DevicePlatform& platform)
    : platform_(platform), sfc_(platform.LoadLibraryA("sfc.dll")) {
  if (sfc_) is_protected_ = platform.GetProcAddress(sfc_, "SfcIsFileProtected");
}

ProtectedFiles::~ProtectedFiles() {
  if (sfc_) platform_.FreeLibrary(sfc_);
}

bool ProtectedFiles::Covers(const std::string& path) {
  return is_protected_ && platform_.SfcIsFileProtected(is_protected_, path.c_str());
}

}  // namespace engine
