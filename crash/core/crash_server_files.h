// Where the files for the crash servers go, and the upload's settings as
// the delivery layer takes them, derived from the settings record.
#pragma once

#include <string>
#include <string_view>

#include "crash/core/settings.h"
#include "crash/delivery/upload_settings.h"

namespace qor {

// The bug-report file as a silent save writes it: `setting` with
// "%appname%" replaced by the name of `core_module_path` without its
// extension, in the directory of `executable_path` unless it is absolute
// (at least three characters, starting with "\" or with ":" second).
std::string BugReportFilePath(std::string_view setting, std::string_view core_module_path,
                              std::string_view executable_path);

// The minidump beside the bug-report file: its extension replaced by
// ".dmp" (added when it has none).
std::string MinidumpPathOf(std::string_view report_path);

// The upload settings of `settings`; the queue folder, when not set, is
// "crash uploads" beside the minidump, and the product, when not set, the
// executable's name without its extension.
UploadSettings UploadSettingsOf(const TExceptSettings& settings, std::string_view minidump_path,
                                std::string_view executable_path);

}  // namespace qor
