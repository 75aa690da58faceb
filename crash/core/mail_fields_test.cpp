#include "crash/core/mail_fields.h"

#include <gtest/gtest.h>

namespace qor {
namespace {

constexpr char kReport[] =
    "date/time         : 2026-12-08\r\n"
    "exception class   : EAccessViolation\r\n"
    "exception message : Access violation at address 0040a1b2: read of 00000000.  \r\n"
    "\r\nmain thread ($2a8):\r\n";

TEST(MailFields, SubjectCarriesTheReportsMessage) {
  EXPECT_EQ(ReportExceptionMessage(kReport),
            "Access violation at address 0040a1b2: read of 00000000.");
  EXPECT_EQ(MailSubjectFor("%APPNAME%: %exceptMsg%", "Uninstall.exe", kReport),
            "Uninstall.exe: Access violation at address 0040a1b2: read of 00000000.");
  EXPECT_EQ(ReportExceptionMessage("date/time : x\r\nexception message : last"), "last")
      << "a message on the last line";
  EXPECT_EQ(MailSubjectFor("bug in %appname%: %exceptMsg%", "a.dll", "date/time : x\r\n"),
            "bug in a.dll: Unknown");
}

TEST(MailFields, SenderIsTheFirstRecipientUnlessOverridden) {
  EXPECT_EQ(MailSenderFor(nullptr, " help@x.org ; other@y.org", "Uninstall"),
            "qorExcept <help@x.org>");
  EXPECT_EQ(MailSenderFor(nullptr, "Support %appname% <help@x.org>", "Uninstall"),
            "qorExcept <help@x.org>");
  EXPECT_EQ(MailSenderFor(nullptr, "%appname%@x.org", "Uninstall"),
            "qorExcept <Uninstall@x.org>");
  EXPECT_EQ(MailSenderFor("me@z.org", "help@x.org", "Uninstall"), "me@z.org");
  EXPECT_EQ(MailSenderFor(nullptr, "", "Uninstall"), "");
}

}  // namespace
}  // namespace qor
