// Handing a report to the user's own mail program (Windows only): through
// Simple MAPI, which can attach files, or by starting the program registered
// for "mailto:" links. Also the test whether the machine is online, which
// tells whether direct SMTP is worth trying.
#pragma once

#include <string_view>

namespace qor {

// True only when WinINet is there and says the machine is connected.
bool HasInternetConnection();

enum MapiResult { kMapiNotSent = 0, kMapiSent = 1, kMapiCancelled = 2 };

// Sends through MAPISendMail of mapi32.dll; `owner_window` is the window
// the mail program's dialogs belong to (may be null). Attachments are full
// paths separated by "|". Returns a MapiResult.
int MapiSendReport(std::string_view recipients, std::string_view subject, std::string_view body,
                   bool silent, void* owner_window, std::string_view attachments);

// Starts the registered mail program with a mailto URL holding recipients,
// subject and body; true when it could be started.
bool ShellSendReport(std::string_view recipients, std::string_view subject,
                     std::string_view body);

}  // namespace qor
