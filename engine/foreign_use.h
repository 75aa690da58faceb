// What the devices outside a removal use: the services they name and the
// INF files their installed drivers came from, of every device the walk's
// set holds, present or not. The removal deletes none of these.
#pragma once

#include <string>
#include <vector>

#include "engine/device_platform.h"
#include "engine/removal_scope.h"

namespace engine {

// Asks the system on the first question only, from the walk's own set: the
// removal changes no device outside its scope, so one look serves the walk.
class ForeignUse {
 public:
  // `scope` must outlive this object; `set` must stay open while it asks.
  ForeignUse(DevicePlatform& platform, DevInfoHandle set, const RemovalScope& scope);
  ForeignUse(const ForeignUse&) = delete;
  ForeignUse& operator=(const ForeignUse&) = delete;

  // True when a device outside the scope names `service` as its service.
  bool NamesService(const std::string& service);

  // True when the installed driver of a device outside the scope came from
  // the INF file named `inf_name` (a name without folder).
  bool UsesInf(const std::string& inf_name);

 private:
  void Gather();

  DevicePlatform& platform_;
  DevInfoHandle set_;
  const RemovalScope& scope_;
  bool gathered_ = false;
  std::vector<std::string> services_;
  std::vector<std::string> inf_names_;
};

}  // namespace engine
