#include "engine/device_platform.h"

namespace engine {

bool DevicePlatform::IsNtFamily() {
  if (!nt_family_) {
    OsVersionInfoA info{};
    info.dwOSVersionInfoSize = sizeof(info);
    nt_family_ = GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
  }
  return *nt_family_;
}

}  // namespace engine
