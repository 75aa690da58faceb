// The subject and sender of a mailed bug report, taken from the settings
// and from the report itself.
#pragma once

#include <string>
#include <string_view>

namespace qor {

// The exception message that the report's "exception message" line holds,
// without its label and blanks; "Unknown" when the report has no such line.
std::string ReportExceptionMessage(std::string_view report);

// `configured` with "%appname%" replaced by `core_file_name` and
// "%exceptMsg%" by the report's exception message.
std::string MailSubjectFor(std::string_view configured, std::string_view core_file_name,
                           std::string_view report);

// The sender: `override_sender` when it is set or when `recipients` is
// empty (empty when neither); otherwise "qorExcept " + the first recipient
// in angle brackets, "%appname%" in it replaced by `program_base_name`.
std::string MailSenderFor(const char* override_sender, std::string_view recipients,
                          std::string_view program_base_name);

}  // namespace qor
