#include "crash/core/hardware_list.h"

#include <algorithm>

#include "crash/attach/case_compare.h"

namespace qor {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

bool ContainsNoCase(std::string_view text, std::string_view part) {
  for (size_t i = 0; i + part.size() <= text.size(); ++i) {
    if (EqualNoCase(text.substr(i, part.size()), part)) return true;
  }
  return false;
}

std::string Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

// Drivers that came with the system say nothing the reader needs.
bool ShowsDriver(std::string_view provider) {
  return !provider.empty() && provider.front() != '(' && !EqualNoCase(provider, "Microsoft");
}

}  // namespace

void AddHardware(THardwareList& list, std::string_view class_name, THardwareDevice device) {
  auto place = std::find_if(list.begin(), list.end(), [&](const THardwareClass& entry) {
    return CompareNoCase(entry.Name, class_name) >= 0;
  });
  // Names that differ only in case sit side by side; the exact one may be
  // any of them, not just the first, or the class would be split in two.
  auto exact = place;
  while (exact != list.end() && exact->Name != class_name &&
         CompareNoCase(exact->Name, class_name) == 0) {
    ++exact;
  }
  if (exact != list.end() && exact->Name == class_name) {
    place = exact;
  } else {
    place = list.insert(place, THardwareClass{std::string(class_name), {}});
  }
  auto& devices = place->Devices;
  const auto at = std::find_if(devices.begin(), devices.end(), [&](const THardwareDevice& entry) {
    return CompareNoCase(entry.Description, device.Description) >= 0;
  });
  devices.insert(at, std::move(device));
}

bool SkipNtDevice(std::string_view class_name, std::string_view first_hardware_id) {
  return class_name == "LegacyDriver" || class_name == "Unknown" || class_name == "Volume" ||
         StartsWithNoCase(first_hardware_id, "sw\\");
}

bool Skip9xDevice(bool disabled, std::string_view hardware_key) {
  return disabled || ContainsNoCase(hardware_key, "\\SWENUM\\");
}

bool Skip9xClass(std::string_view class_name) {
  return class_name.empty() || class_name == "NetClient" || class_name == "NetService" ||
         class_name == "NetTrans";
}

std::string HardwareListText(const THardwareList& list,
                             const std::function<TDriverFacts(const std::string&)>& driver_facts) {
  std::string text = "hardware:";
  for (const THardwareClass& entry : list) {
    text += "\r\n+ " + entry.Name;
    for (const THardwareDevice& device : entry.Devices) {
      text += "\r\n  - " + device.Description;
      if (device.DriverKey.empty()) continue;
      const TDriverFacts facts = driver_facts(device.DriverKey);
      if (!ShowsDriver(facts.Provider)) continue;
      text += " (driver " + Trimmed(facts.Version.empty() ? facts.Date : facts.Version) + ")";
    }
  }
  return text;
}

}  // namespace qor
