// What can be done with a finished bug report, from the exception dialog's
// buttons or automatically: save, print, copy, mail; and restarting or
// closing the program (Windows only). All run on the handling thread.
// Failures come back as false; only an exhausted heap can throw
// (std::bad_alloc). `owner_window` is the window that the dialogs and
// message boxes belong to (may be null).
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "crash/core/settings.h"

namespace qor {

// The configured bug-report file name with "%appname%" replaced by the
// core module's file name without path and extension.
std::string BugReportFileName();

// Saves `report` into the bug-report file. A relative name is taken in the
// executable's directory when silent, else the user picks the file in the
// save dialog. The report is appended (after the size limit's cut) to a
// copy of the file, which then replaces the file in one step: a failure
// at any point leaves the old file as it was. True only when the new file
// is in place; false when cancelled, refused (loader lock) or failed.
bool SaveReport(const std::string& report, void* owner_window, bool silent);

// Prints `report` on the printer that the user picks; true when printed.
bool PrintReport(const std::string& report, void* owner_window);

// Puts `text` on the clipboard as CF_TEXT; true when it is there.
bool CopyToClipboard(const std::string& text);

// Mails `report` (with the bug-report file and `screenshot_png` attached
// as configured) by the first delivery method that works, and tells the
// user the result unless silent. True when a method succeeded.
bool MailReport(const std::string& report, std::span<const uint8_t> screenshot_png,
                void* owner_window, bool silent);

// Starts the program again and hands it `times`, then ends this process
// with exit code 2, also when the new process could not be started.
[[noreturn]] void RestartProcess(const TExceptTimes& times);

// Ends this process at once with exit code 1, without running any
// finalisation.
[[noreturn]] void CloseProcess();

// At start-up: when this process was started by RestartProcess, waits
// until the old process has ended and fills `times` from the hand-over.
// Returns whether a hand-over was taken.
bool CheckRestartHandOver(TExceptTimes& times);

}  // namespace qor
