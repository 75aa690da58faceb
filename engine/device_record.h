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
  // Full paths of the INF files of the compatible drivers, in the Setup
  // API's order, duplicates kept: each occurrence is handed to the cleanup.
  std::vector<std::string> inf_files;
  std::string service_name;  // NT family only; empty when unreadable
  std::string driver_file;   // filled by the cleanup steps; empty if none
};

}  // namespace engine
