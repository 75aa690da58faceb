// A program that brings its own settings record: the library's default
// must then stay out of the link (two definitions would not link).
#include <gtest/gtest.h>

#include "crash/core/settings.h"

namespace qor {

constinit TExceptSettings ExceptSettings{.AutoClose = 1,
                                         .MailAddress = "crash@example.org",
                                         .ButtonCaptions = {"", "", "", "", "", "", "close"}};

namespace {

TEST(SettingsRecord, TheProgramsOwnRecordIsTheOneInUse) {
  EXPECT_EQ(ExceptSettings.MailAddress.View(), "crash@example.org");
  EXPECT_EQ(ExceptSettings.AutoClose, 1);
  EXPECT_EQ(ExceptSettings.ButtonCaptions[0].View(), "");
  EXPECT_EQ(ExceptSettings.ButtonCaptions[6].View(), "close");
  // Fields the program leaves out keep the library's defaults.
  EXPECT_EQ(ExceptSettings.BugReportFile.View(), "bugreport.txt");
  EXPECT_EQ(ExceptSettings.SmtpPort, 25);
}

}  // namespace
}  // namespace qor
