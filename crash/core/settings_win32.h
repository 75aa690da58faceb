// What "%appname%" stands for in each configurable text (Windows only).
#pragma once

#include <string>

#include "crash/core/settings.h"

namespace qor {

enum class AppNameUse {
  kDialogTitle,    // the executable's file name with its extension
  kMailSender,     // the executable's file name without it
  kMailSubject,    // the core module's file name with its extension
  kBugReportFile,  // the core module's file name without it
};

std::string AppNameFor(AppNameUse use);

}  // namespace qor
