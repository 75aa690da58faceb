// The command line that hands a report to the program registered for
// "mailto:" links.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qor {

// The longest command line the NT family starts.
inline constexpr size_t kMaxNtCommandLine = 32766;

// "mailto:" + recipients + "?subject=" + subject + "&body=" + body, each
// part escaped with "%" and the mailto escape set; the recipients are
// normalised first.
std::string MailtoUrl(std::string_view recipients, std::string_view subject,
                      std::string_view body);

// Every "%1" of `command` replaced by `url`; without one, the URL appended
// (behind one blank unless the command ends in a blank).
std::string InsertMailtoUrl(std::string_view command, std::string_view url);

// The command line for the registered `command`. With a `max_length`
// (0: none), a line that would be longer gets a shorter body, cut so that
// no escape sequence loses its digits; addresses, subject and the command
// stay whole. Nothing when even an empty body does not fit.
std::optional<std::string> MailProgramCommandLine(std::string_view command,
                                                  std::string_view recipients,
                                                  std::string_view subject, std::string_view body,
                                                  size_t max_length);

}  // namespace qor
