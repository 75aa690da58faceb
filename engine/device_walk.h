// The device walks: for one hardware id, visit every device instance the
// Setup API knows (every class, present or not) and, for each device whose
// hardware ids contain the id, either note it (probe) or remove it with its
// keys, driver packages, driver file and service (remove). No exception
// leaves these functions; failures of the system are skipped silently.
#pragma once

#include <span>
#include <string>

#include "engine/device_platform.h"
#include "engine/device_record.h"
#include "engine/instrument_table.h"
#include "engine/removal_scope.h"

namespace engine {

// Probe walk; true when at least one device matched `id`. Deletes nothing.
bool DriversPresentFor(DevicePlatform& platform, const std::string& id);

// Remove walk for `id`, one of the ids of `scope`; what devices outside
// the scope use stays. Always false: whether devices went is not known to
// the caller, which ignores the result.
bool RemoveDriversFor(DevicePlatform& platform, const std::string& id, const RemovalScope& scope);

// Probe walk for the kind's probe id.
bool ProbeInstrument(DevicePlatform& platform, InstrumentKind kind);

// For each removal group of the kind: looks up the manufacturer text, then
// runs one remove walk per id of the group, in table order. `scope` holds
// the kind and every other kind removed with it.
void RemoveInstrument(DevicePlatform& platform, InstrumentKind kind, const RemovalScope& scope);

// Removes the kinds the user chose, in the given order, each with all of
// them as the scope: a service or package that only these kinds use goes,
// one that another kind or maker still uses stays.
void RemoveInstruments(DevicePlatform& platform, std::span<const InstrumentKind> kinds);

// The manufacturer text of the group being removed; read by the 9x
// family's INF cleanup. Empty at start.
std::string& CurrentManufacturer();

// The walks themselves, by platform family. Both return the probe result:
// true only in probe mode when a device matched. A probe never consults
// the scope.
bool UninstallDevicesNT(DevicePlatform& platform, const std::string& id, WalkMode mode,
                        const RemovalScope& scope);
bool UninstallDevices9x(DevicePlatform& platform, const std::string& id, WalkMode mode,
                        const RemovalScope& scope);

}  // namespace engine
