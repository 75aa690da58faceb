#include "engine/foreign_use.h"

#include <algorithm>

#include "engine/device_record.h"
#include "engine/device_steps.h"
#include "engine/driver_paths.h"

namespace engine {
namespace {

bool ContainsName(const std::vector<std::string>& names, const std::string& name) {
  return std::any_of(names.begin(), names.end(),
                     [&](const std::string& entry) { return SameAsciiText(entry, name); });
}

}  // namespace

ForeignUse::ForeignUse(DevicePlatform& platform, DevInfoHandle set, const RemovalScope& scope)
    : platform_(platform), set_(set), scope_(scope) {}

bool ForeignUse::NamesService(const std::string& service) {
  Gather();
  return ContainsName(services_, service);
}

bool ForeignUse::UsesInf(const std::string& inf_name) {
  Gather();
  return ContainsName(inf_names_, inf_name);
}

void ForeignUse::Gather() {
  if (gathered_) return;
  gathered_ = true;
  SpDevinfoData device{};
  device.cbSize = sizeof(device);
  for (uint32_t index = 0; platform_.SetupDiEnumDeviceInfo(set_, index, &device); ++index) {
    DeviceRecord record;
    if (platform_.IsNtFamily()) {
      ReadDevicePropertiesNT(platform_, set_, device, record);
    } else {
      ReadDeviceProperties9x(platform_, set_, device, record);
    }
    // A device with unreadable ids might be anyone's: it counts as foreign.
    if (scope_.Covers(platform_, record.hardware_ids)) continue;
    if (!record.service_name.empty()) services_.push_back(record.service_name);
    ReadInstalledInf(platform_, set_, device, record);
    if (!record.installed_inf.empty()) inf_names_.push_back(FileNameOf(record.installed_inf));
  }
}

}  // namespace engine
