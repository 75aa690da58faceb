#include "crash/core/report_sections.h"

#include <algorithm>
#include <cstdio>

#include "crash/attach/number_text.h"

namespace qor {

std::string InternalErrorText(std::string_view step, std::string_view location) {
  std::string text = ">> internal error in " + std::string(step);
  if (!location.empty()) text += ":\r\n" + std::string(location);
  return text;
}

std::string ComposeFailureText(uint32_t address) {
  std::string text = "\r\n\r\nAn exception occurred during composing the bug report.";
  if (address != 0) text += " " + FormatHex(address);
  return text;
}

std::string ThreadHeaderLine(std::string_view caption, bool suspended, int32_t priority) {
  std::string line = "\r\n\r\n" + std::string(caption) + ":";
  if (suspended) line += " <suspended>";
  if (priority != 0) line += " <priority:" + FormatDecimal(priority) + ">";
  return line + "\r\n";
}

std::string StackNotAccessibleText(bool failing, std::string_view exception_location) {
  std::string text = ">> stack not accessible";
  if (failing) text += ", exception location: \r\n" + std::string(exception_location);
  return text;
}

void InsertCreatedBy(std::string& stack, std::string_view creator_caption) {
  const size_t last_line = stack.rfind('\r');
  const std::string line = "\r\n>> created by " + std::string(creator_caption) + " at:";
  stack.insert(last_line == std::string::npos ? stack.size() : last_line, line);
}

std::string ModuleListText(const TDAModule& modules) {
  size_t name_width = 0;
  size_t version_width = 0;
  for (const TModule& module : modules) {
    name_width = std::max(name_width, module.FileName.size());
    version_width = std::max(version_width, module.Version.size());
  }
  std::string text = "modules:";
  for (const TModule& module : modules) {
    char base[16];
    std::snprintf(base, sizeof base, "%08x ", static_cast<unsigned>(module.Handle));
    text += "\r\n";
    text += base;
    text += module.FileName + std::string(name_width + 1 - module.FileName.size(), ' ');
    text += module.Version + std::string(version_width + 1 - module.Version.size(), ' ');
    text += module.Directory;
    if (!module.DebugId.empty()) text += "  debug id " + module.DebugId;
  }
  return text;
}

std::string DisassemblySectionText(std::string_view listing) {
  if (listing.empty()) return {};
  return "\r\n\r\ndisassembling:\r\n" + std::string(listing);
}

}  // namespace qor
