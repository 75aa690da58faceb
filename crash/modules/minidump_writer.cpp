#include "crash/modules/minidump_writer.h"

namespace qor {

std::string MinidumpReportLine(MinidumpResult result, const std::string& file_name) {
  switch (result) {
    case MinidumpResult::kWritten: return "Minidump: " + file_name;
    case MinidumpResult::kNotWanted: return "Minidump: none (not configured)";
    case MinidumpResult::kNoDbgHelp: return "Minidump: none (dbghelp.dll is not available)";
    case MinidumpResult::kFailed: break;
  }
  return "Minidump: none (writing it failed)";
}

}  // namespace qor
