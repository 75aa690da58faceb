#include "engine/removal_scope.h"

#include "engine/hardware_ids.h"

namespace engine {

RemovalScope::RemovalScope(std::span<const InstrumentKind> kinds) {
  for (InstrumentKind kind : kinds) {
    for (const RemovalGroup& group : InstrumentEntryFor(kind).groups) {
      ids_.insert(ids_.end(), group.ids.begin(), group.ids.end());
    }
  }
}

bool RemovalScope::Covers(DevicePlatform& platform,
                          const std::vector<std::string>& hardware_ids) const {
  for (const char* id : ids_) {
    if (HardwareIdsContain(platform, hardware_ids, id)) return true;
  }
  return false;
}

}  // namespace engine
