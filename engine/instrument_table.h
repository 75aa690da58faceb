// The instrument kinds the uninstaller knows, the hardware id probed for
// each, and the ordered groups of ids removed for each.
#pragma once

#include <span>

#include "engine/device_platform.h"
#include "engine/hardware_ids.h"

namespace engine {

// Also the order in which the main window probes and removes the kinds.
enum class InstrumentKind { K3, D805, Q4Diff, Q4, Q3, Q2, K2, D801 };

// Ids removed one after the other, after the manufacturer text was looked
// up through the interface class of the group's driver.
struct RemovalGroup {
  Guid interface_class;
  std::span<const char* const> ids;
};

struct InstrumentEntry {
  InstrumentKind kind;
  const char* check_box_name;
  const char* caption;
  const char* probe_id;  // always one of the ids of `groups`
  std::span<const RemovalGroup> groups;
};

// The row of `kind`; the table lives for the whole run.
const InstrumentEntry& InstrumentEntryFor(InstrumentKind kind);

// All rows, in InstrumentKind order.
std::span<const InstrumentEntry> InstrumentTable();

// True when the hardware ids contain any id of any row: the device belongs
// to an instrument, whether or not its kind is being removed.
bool IsInstrumentDevice(DevicePlatform& platform, const std::vector<std::string>& hardware_ids);

}  // namespace engine
