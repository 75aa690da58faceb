// The report's step for the crash servers that teams already run (Windows
// only): a minidump of the failing thread beside the bug-report file, its
// line in the report, and the upload of both when a URL is configured.
#pragma once

#include <string>

#include "crash/core/except_request.h"

namespace qor {

// Runs on the handling thread while the failing thread waits for its
// report. Appends the minidump's line to `report` (none when the settings
// want no minidump); uploads the dump and `report` when the settings name
// an upload URL.
void AddCrashServerFiles(const ExceptRequest& request, std::string& report);

// Sends the reports that earlier runs left queued; nothing without an
// upload URL. Never throws.
void RetryQueuedCrashUploads();

}  // namespace qor
