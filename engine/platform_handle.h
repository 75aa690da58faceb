// Ownership of one handle value obtained from the platform: released with
// `Release` on every path. Copying is deleted.
#pragma once

#include "engine/device_platform.h"

namespace engine {

template <auto Release>
class PlatformHandle {
 public:
  // Does not check `value`; the caller has, and passes only valid ones.
  PlatformHandle(DevicePlatform& platform, uintptr_t value) : platform_(platform), value_(value) {}
  PlatformHandle(const PlatformHandle&) = delete;
  PlatformHandle& operator=(const PlatformHandle&) = delete;
  ~PlatformHandle() { (platform_.*Release)(value_); }

  uintptr_t get() const { return value_; }

 private:
  DevicePlatform& platform_;
  uintptr_t value_;
};

using DeviceInfoSet = PlatformHandle<&DevicePlatform::SetupDiDestroyDeviceInfoList>;
using OwnedSid = PlatformHandle<&DevicePlatform::FreeSid>;
using OwnedHandle = PlatformHandle<&DevicePlatform::CloseHandle>;
using OwnedKey = PlatformHandle<&DevicePlatform::RegCloseKey>;
using OwnedService = PlatformHandle<&DevicePlatform::CloseServiceHandle>;

}  // namespace engine
