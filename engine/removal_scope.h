// The instrument kinds one removal takes away. Devices whose hardware ids
// name none of their ids (devices of kinds the user left unticked, and of
// other makers) are outside: what they use stays.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "engine/device_platform.h"
#include "engine/instrument_table.h"

namespace engine {

class RemovalScope {
 public:
  // Every id of every removal group of `kinds`.
  explicit RemovalScope(std::span<const InstrumentKind> kinds);

  // True when the hardware ids contain one of the scope's ids, by the
  // table's matching rule. An empty list (ids unreadable) is outside.
  bool Covers(DevicePlatform& platform, const std::vector<std::string>& hardware_ids) const;

 private:
  std::vector<const char*> ids_;
};

}  // namespace engine
