// What a device walk gathers about one matching device, and the walk's mode.
#pragma once

#include <string>
#include <vector>

namespace engine {

// Probe mode only gathers; remove mode deletes.
enum class WalkMode { Probe, Remove };

// Lives while the walk is at one device.
struct DeviceRecord {
  std::vector<std::string> hardware_ids;
  // Full paths of the INF files of the compatible drivers whose model
  // lines name an instrument id, in the Setup API's order, duplicates kept:
  // each occurrence is handed to the cleanup. A driver that matches the
  // device only through a generic compatible id is another maker's.
  std::vector<std::string> inf_files;
  std::string service_name;  // NT family only; empty when unreadable
  // The INF the installed driver came from (the driver key's "InfPath");
  // the NT walk reads it before it deletes the keys. Empty if unknown.
  std::string installed_inf;
  std::string driver_file;   // filled by the cleanup steps; empty if none
};

}  // namespace engine
