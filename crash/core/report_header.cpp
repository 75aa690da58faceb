#include "crash/core/report_header.h"

#include <cstdio>

#include "crash/attach/number_text.h"

namespace qor {
namespace {

constexpr char kLineEnd[] = "\r\n";

void Line(std::string& text, const char* label, std::string_view value) {
  text += label;
  text += value;
  text += kLineEnd;
}

void OptionalLine(std::string& text, const char* label, const std::optional<std::string>& value) {
  if (value) Line(text, label, *value);
}

// Lines that only say something when their value is not empty.
void NonEmptyLine(std::string& text, const char* label, const std::optional<std::string>& value) {
  if (value && !value->empty()) Line(text, label, *value);
}

std::string ProcessorText(const TSystemFacts& facts) {
  if (facts.ProcessorCount <= 1) return *facts.ProcessorName;
  return std::to_string(facts.ProcessorCount) + "x " + *facts.ProcessorName;
}

}  // namespace

std::string ReportTimeText(const TReportTime& time) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d, %02d:%02d:%02d, %dms", time.Year, time.Month,
                time.Day, time.Hour, time.Minute, time.Second, time.Millisecond);
  return text;
}

std::string ModuleTimeText(const TReportTime& time) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", time.Year, time.Month, time.Day,
                time.Hour, time.Minute);
  return text;
}

bool HasParameters(std::string_view command_line) {
  size_t at = command_line.find_first_not_of(" \t");
  if (at == std::string_view::npos) return false;
  if (command_line[at] == '"') {
    at = command_line.find('"', at + 1);
    if (at == std::string_view::npos) return false;
    ++at;
  } else {
    at = command_line.find_first_of(" \t", at);
    if (at == std::string_view::npos) return false;
  }
  return command_line.find_first_not_of(" \t", at) != std::string_view::npos;
}

std::string CutMessage(std::string_view message) {
  const size_t last = message.find_last_not_of(std::string_view(".!\0", 3));
  std::string text(last == std::string_view::npos ? std::string_view() : message.substr(0, last + 1));
  return text + ".";
}

std::string ReportHeaderText(const TSystemFacts& facts, const TExceptionTexts& exception) {
  std::string text;
  Line(text, "date/time         : ", ReportTimeText(facts.Now));
  OptionalLine(text, "computer name     : ", facts.ComputerName);
  NonEmptyLine(text, "wts client name   : ", facts.TerminalClient);
  OptionalLine(text, "user name         : ", facts.UserName);
  OptionalLine(text, "operating system  : ", facts.OsVersion);
  NonEmptyLine(text, "system language   : ", facts.OsLanguage);
  NonEmptyLine(text, "system up time    : ", facts.SystemUpTime);
  OptionalLine(text, "program up time   : ", facts.ProgramUpTime);
  if (facts.ProcessorName && !facts.ProcessorName->empty()) {
    Line(text, facts.ProcessorCount > 1 ? "processors        : " : "processor         : ",
         ProcessorText(facts));
  }
  OptionalLine(text, "physical memory   : ", facts.PhysicalMemory);
  OptionalLine(text, "system resources  : ", facts.SystemResources);
  Line(text, "free disk space   : ", facts.DiskFree);
  OptionalLine(text, "display mode      : ", facts.DisplayMode);
  Line(text, "process id        : ", FormatHex(facts.ProcessId));
  OptionalLine(text, "allocated memory  : ", facts.AllocatedMemory);
  OptionalLine(text, "command line      : ", facts.CommandLine);
  OptionalLine(text, "executable        : ", facts.Executable);
  OptionalLine(text, "current module    : ", facts.CurrentModule);
  OptionalLine(text, facts.ModuleIsExecutable ? "exec. date/time   : " : "module date/time  : ",
               facts.ModuleTime);
  OptionalLine(text, "version           : ", facts.Version);
  OptionalLine(text, "bde version       : ", facts.BdeVersion);
  Line(text, "qorExcept version : ", "2.7i");
  if (exception.Frozen) {
    text += "exception message : " + exception.FrozenMessage;
    return text;
  }
  text += "exception class   : " + exception.ClassText;
  if (exception.MessageText != exception.ClassText) {
    text += std::string(kLineEnd) + "exception message : " + CutMessage(exception.MessageText);
  }
  return text;
}

}  // namespace qor
