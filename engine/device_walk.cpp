#include "engine/device_walk.h"

#include <functional>

#include "engine/device_steps.h"
#include "engine/driver_cleanup.h"
#include "engine/foreign_use.h"
#include "engine/hardware_ids.h"
#include "engine/manufacturer_lookup.h"
#include "engine/platform_handle.h"
#include "engine/service_cleanup.h"

namespace engine {
namespace {

using DeviceVisit = std::function<void(DevInfoHandle, SpDevinfoData&)>;

// Calls `visit` for every device of the set `handle`; the index grows by
// one after each device, removed or not. Closes the set afterwards.
void ForEachDevice(DevicePlatform& platform, DevInfoHandle handle, const DeviceVisit& visit) {
  DeviceInfoSet set(platform, handle);
  SpDevinfoData device{};
  device.cbSize = sizeof(device);
  for (uint32_t index = 0; platform.SetupDiEnumDeviceInfo(set.get(), index, &device); ++index) {
    visit(set.get(), device);
  }
}

bool RunWalk(DevicePlatform& platform, const std::string& id, WalkMode mode,
             const RemovalScope& scope) {
  try {
    return platform.IsNtFamily() ? UninstallDevicesNT(platform, id, mode, scope)
                                 : UninstallDevices9x(platform, id, mode, scope);
  } catch (...) {
    // Out of memory in the middle of a walk; the walk's resources are
    // already released and the engine reports no failure of its own.
    return false;
  }
}

}  // namespace

bool UninstallDevicesNT(DevicePlatform& platform, const std::string& id, WalkMode mode,
                        const RemovalScope& scope) {
  const DevInfoHandle handle = platform.SetupDiGetClassDevsW(nullptr, nullptr, 0, kDigcfAllClasses);
  if (handle == kInvalidHandleValue) return false;
  bool found = false;
  ForeignUse foreign(platform, handle, scope);
  ForEachDevice(platform, handle, [&](DevInfoHandle set, SpDevinfoData& device) {
    DeviceRecord record;
    ReadDevicePropertiesNT(platform, set, device, record);
    if (!HardwareIdsContain(platform, record.hardware_ids, id)) return;
    // Whether an inbox INF installed the service shows in the driver key,
    // which the next step deletes.
    ReadInstalledInf(platform, set, device, record);
    if (mode == WalkMode::Remove) {
      DeleteDeviceKeys(platform, set, device);
    } else {
      found = true;
    }
    CollectInfFiles(platform, set, device, record);
    // A node the class installer keeps does not stop the cleanup.
    if (mode == WalkMode::Remove) RemoveDeviceNT(platform, set, device);
    LookUpServiceFile(platform, record, mode, foreign);
    DeleteDriverFiles(platform, record, mode, true, foreign);
  });
  return found;
}

bool UninstallDevices9x(DevicePlatform& platform, const std::string& id, WalkMode mode,
                        const RemovalScope& scope) {
  const DevInfoHandle handle = platform.SetupDiGetClassDevsA(nullptr, nullptr, 0, kDigcfAllClasses);
  if (handle == kInvalidHandleValue) return false;
  bool found = false;
  ForeignUse foreign(platform, handle, scope);
  ForEachDevice(platform, handle, [&](DevInfoHandle set, SpDevinfoData& device) {
    DeviceRecord record;
    ReadDeviceProperties9x(platform, set, device, record);
    if (!HardwareIdsContain(platform, record.hardware_ids, id)) return;
    ScanDriverKey(platform, set, device, record);
    CollectInfFiles(platform, set, device, record);
    if (mode == WalkMode::Remove) {
      RemoveDevice9x(platform, set, device);
    } else {
      found = true;
    }
    DeleteDriverFiles(platform, record, mode, false, foreign);
  });
  return found;
}

bool DriversPresentFor(DevicePlatform& platform, const std::string& id) {
  return RunWalk(platform, id, WalkMode::Probe, RemovalScope({}));
}

bool RemoveDriversFor(DevicePlatform& platform, const std::string& id, const RemovalScope& scope) {
  RunWalk(platform, id, WalkMode::Remove, scope);
  return false;
}

bool ProbeInstrument(DevicePlatform& platform, InstrumentKind kind) {
  try {
    return DriversPresentFor(platform, InstrumentEntryFor(kind).probe_id);
  } catch (...) {
    return false;  // out of memory before the walk began
  }
}

void RemoveInstrument(DevicePlatform& platform, InstrumentKind kind, const RemovalScope& scope) {
  try {
    for (const RemovalGroup& group : InstrumentEntryFor(kind).groups) {
      CurrentManufacturer() = LookUpManufacturer(platform, group.interface_class);
      for (const char* id : group.ids) RemoveDriversFor(platform, id, scope);
    }
  } catch (...) {
    // Out of memory between walks: the rest of the kind stays installed,
    // which the user sees on the next start.
  }
}

void RemoveInstruments(DevicePlatform& platform, std::span<const InstrumentKind> kinds) {
  try {
    const RemovalScope scope(kinds);
    for (InstrumentKind kind : kinds) RemoveInstrument(platform, kind, scope);
  } catch (...) {
    // Out of memory before the first walk: nothing was removed.
  }
}

std::string& CurrentManufacturer() {
  static std::string text;
  return text;
}

}  // namespace engine
