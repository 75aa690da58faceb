// The collectors of the report's header facts (Windows only). Each reads
// one source; a collector whose source is missing returns an empty text
// (or its number's floor), and one that fails outright raises, which the
// caller's guard turns into a left-out line.
#pragma once

#include <cstdint>
#include <string>

#include "crash/core/hardware_list.h"
#include "crash/core/report_header.h"

namespace qor {

std::string ComputerNameText();
// The client's name in a remote session of the NT family; else empty.
std::string TerminalClientText();
std::string UserNameText();
// The system's description, " build ", its build number.
std::string OsVersionText();
std::string OsLanguageText();
// Since the system started, by its performance counter.
std::string SystemUpTimeText();
// Since `start_time` (UTC, 100 ns units since 1601, as a FILETIME); 0 for
// the process's creation as the system recorded it.
std::string ProgramUpTimeText(uint64_t start_time);
std::string ProcessorNameText();
// Every processor the system runs, however many (at least 1).
uint32_t ProcessorCount();
// "free/total MB (free/total)", rounded to whole megabytes.
std::string PhysicalMemoryText();
// 9x family: "gdi/user (gdi/user)" percentages, two digits at least.
std::string SystemResourcesText();
// "(X:) size" of the free space of drive `letter`; empty for "\" (a
// network path).
std::string DiskFreeText(char letter);
std::string DisplayModeText();
// The committed memory that belongs to no module.
std::string AllocatedMemoryText();

// Adds the present devices of the system to `list`, by the Setup API on
// the NT family and by the configuration manager's registry on the 9x
// family; adds nothing when neither is available.
void CollectHardware(THardwareList& list);
// Provider, version and date of the driver whose key (under
// HKEY_LOCAL_MACHINE) is `driver_key`.
TDriverFacts DriverFactsOf(const std::string& driver_key);

// Every fact of the header, each collector under its own guard.
// `start_time` as for ProgramUpTimeText.
TSystemFacts CollectSystemFacts(uint64_t start_time);

}  // namespace qor
