// The files the system protects, as sfc.dll's SfcIsFileProtected reports
// them. The library is loaded for the lifetime of one object; where it or
// its entry point is missing (the 9x family, old systems) no file counts as
// protected.
#pragma once

#include <string>

#include "engine/device_platform.h"

namespace engine {

class ProtectedFiles {
 public:
  explicit ProtectedFiles(DevicePlatform& platform);
  ProtectedFiles(const ProtectedFiles&) = delete;
  ProtectedFiles& operator=(const ProtectedFiles&) = delete;
  ~ProtectedFiles();

  // True when the system protects the file at `path`.
  bool Covers(const std::string& path);

 private:
  DevicePlatform& platform_;
  ModuleHandle sfc_;
  ProcAddress is_protected_ = 0;
};

}  // namespace engine
