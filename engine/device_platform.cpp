#include "engine/device_platform.h"

namespace engine {

bool DevicePlatform::IsNtFamily() {
  if (!nt_family_) {
    OsVersionInfoA info{};
    info.dwOSVersionInfoSize = sizeof(info);
    nt_family_ = GetVersionExA(&info) && info.dwPlatformId == kVerPlatformWin32Nt;
  }
  return *nt_family_;
}

}  // namespace engine
