// The report's hardware list: device classes, each with its devices, in
// case-insensitive order, and the rules that keep devices out of it. The
// system's device database is read elsewhere (hardware_win32.cpp); this is
// the part that needs no system.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qor {

struct THardwareDevice {
  std::string Description;
  std::string DriverKey;  // registry path under HKEY_LOCAL_MACHINE, or empty
};

struct THardwareClass {
  std::string Name;  // display name
  std::vector<THardwareDevice> Devices;
};

using THardwareList = std::vector<THardwareClass>;

// Inserts a device under class `class_name`: a class of exactly this name
// is reused, else a new one goes before the first class that is greater or
// equal ignoring case; the device goes before the first
// device of its class that is greater or equal ignoring case (duplicates
// are kept).
void AddHardware(THardwareList& list, std::string_view class_name, THardwareDevice device);

// NT family: the classes that never show, and the software-enumerated
// devices (first hardware id starting with "sw\").
bool SkipNtDevice(std::string_view class_name, std::string_view first_hardware_id);

// 9x family: a disabled device (Problem 22) or one under "\SWENUM\".
bool Skip9xDevice(bool disabled, std::string_view hardware_key);
// 9x family: an empty class or a network component class.
bool Skip9xClass(std::string_view class_name);

// What a device's driver key tells about its driver.
struct TDriverFacts {
  std::string Provider;
  std::string Version;
  std::string Date;
};

// "hardware:", then per class "+ name" and per device "  - description",
// with " (driver version)" (the date when there is no version) for drivers
// that a provider other than Microsoft supplied. `driver_facts` reads a
// driver key; it is called only for devices that have one.
std::string HardwareListText(const THardwareList& list,
                             const std::function<TDriverFacts(const std::string&)>& driver_facts);

}  // namespace qor
