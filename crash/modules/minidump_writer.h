// A minidump of the process for one failing thread, written through the
// system's dbghelp.dll (loaded at run time), for the crash servers that
// read minidumps beside or instead of the text report (Windows only).
#pragma once

#include <cstdint>
#include <string>

namespace qor {

enum class MinidumpSize {
  kNone,      // no minidump
  kSmall,     // threads with their stacks, modules, exception, system
  kWithData,  // and the modules' data sections
};

enum class MinidumpResult {
  kWritten,
  kNotWanted,   // the size setting is kNone
  kNoDbgHelp,   // dbghelp.dll or its MiniDumpWriteDump is not there
  kFailed,      // the file could not be made or dbghelp refused
};

// Writes the minidump to `path` for the thread `thread_id`, whose exception
// record and context `exception_pointers` (an EXCEPTION_POINTERS in this
// process) describe. Call it from another thread than the failing one: the
// system suspends the threads it dumps. No file is left behind unless the
// result is kWritten. Modules that the dump lists without a CodeView record
// get the one their image carries.
MinidumpResult WriteMinidump(const std::string& path, uint32_t thread_id,
                             const void* exception_pointers, MinidumpSize size);

// The line the report shows for a result: "Minidump: Uninstall.dmp" or, for
// instance, "Minidump: none (dbghelp.dll is not available)".
std::string MinidumpReportLine(MinidumpResult result, const std::string& file_name);

}  // namespace qor
