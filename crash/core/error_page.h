// The HTML page that a web-server program sends to the browser instead of
// the exception dialog: the message, a button back, a button that shows the
// report, and the report in a read-only text box.
#pragma once

#include <string>
#include <string_view>

#include "crash/core/settings.h"

namespace qor {

// The exception message as the report states it: the rest of the line
// after "\r\nexception message ", without its label up to the first ":",
// trimmed; "Unknown" when the report has no such line.
std::string ExceptMessageOfReport(std::string_view report);

// `text` with "&", "<", ">", '"' and "'" written as character references,
// so that a browser shows it as it is and never takes it for markup.
std::string EscapeHtml(std::string_view text);

// The page for `report`, with the title, message and captions of
// `settings`; `app_name` is the executable's file name with its extension.
// Every text that comes from the report or the settings is escaped, so the
// browser shows the same text as the dialog would, but none of it becomes
// markup.
std::string ErrorPageHtml(std::string_view report, const TExceptSettings& settings,
                          std::string_view app_name);

// What a CGI program writes to standard output for `page`: a status line
// that tells the server and the client that the request failed, the
// content type, an empty line and the page.
std::string CgiErrorResponse(std::string_view page);

}  // namespace qor
