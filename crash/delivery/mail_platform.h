// What a mail needs from the system it is sent from: the computer's name,
// the program's path, the clock and the existence of files.
#pragma once

#include <string>

#include "crash/delivery/mail_message.h"

namespace qor {

// The NetBIOS name of the computer on Windows, the host name elsewhere.
std::string ComputerName();

// The full path of the running program's executable.
std::string ProgramPath();

// The current time in UTC.
MailTime CurrentMailTime();

bool FileExists(const std::string& path);

}  // namespace qor
