// The header of a bug report: the machine and the program at the moment of
// the failure, one labelled line per fact, then the exception's class and
// message.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qor {

struct TReportTime {
  int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};

// What the collectors gave. A fact whose collector failed stays unset and
// its line is left out; an empty text of an unconditional line still gives
// the label.
struct TSystemFacts {
  TReportTime Now;  // local time
  std::optional<std::string> ComputerName;
  std::optional<std::string> TerminalClient;  // shown only when not empty
  std::optional<std::string> UserName;
  std::optional<std::string> OsVersion;
  std::optional<std::string> OsLanguage;    // shown only when not empty
  std::optional<std::string> SystemUpTime;  // shown only when not empty
  std::optional<std::string> ProgramUpTime;
  std::optional<std::string> ProcessorName;  // shown only when not empty
  uint32_t ProcessorCount = 1;
  std::optional<std::string> PhysicalMemory;
  std::optional<std::string> SystemResources;  // set on the 9x family only
  std::string DiskFree;                        // the Windows drive, then the executable's
  std::optional<std::string> DisplayMode;
  uint32_t ProcessId = 0;
  std::optional<std::string> AllocatedMemory;
  std::optional<std::string> CommandLine;    // set when it is to be shown
  std::optional<std::string> Executable;     // file name without path
  std::optional<std::string> CurrentModule;  // set when the core lives in a library
  std::optional<std::string> ModuleTime;     // "yyyy-mm-dd hh:nn"
  bool ModuleIsExecutable = true;
  std::optional<std::string> Version;
  std::optional<std::string> BdeVersion;
};

// How the report names the failure.
struct TExceptionTexts {
  bool Frozen = false;
  std::string ClassText;
  std::string MessageText;
  std::string FrozenMessage;  // the settings' text for a frozen program
};

// "yyyy-mm-dd, hh:nn:ss, <ms>ms".
std::string ReportTimeText(const TReportTime& time);

// "yyyy-mm-dd hh:nn", for the module's file time.
std::string ModuleTimeText(const TReportTime& time);

// True when a command line names at least one parameter after the program
// (which may be quoted).
bool HasParameters(std::string_view command_line);

// The message as the header shows it: a trailing run of "." and "!" (and
// NULs) replaced by exactly one ".".
std::string CutMessage(std::string_view message);

// The whole header; it ends without a line break.
std::string ReportHeaderText(const TSystemFacts& facts, const TExceptionTexts& exception);

}  // namespace qor
