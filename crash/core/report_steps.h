// The handling pipeline's last steps as the core carries them: the
// exception dialog, saving, mailing, restarting and closing (Windows only).
#pragma once

namespace qor {

// Start-up: fills the pipeline's dialog and action hooks with the dialog
// and the report actions. A program may replace any of them afterwards.
void InstallReportSteps();

}  // namespace qor
