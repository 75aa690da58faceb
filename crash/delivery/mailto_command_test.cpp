#include "crash/delivery/mailto_command.h"

#include <gtest/gtest.h>

#include <string>

#include "crash/delivery/testing/percent_decoded.h"

namespace qor {
namespace {

using testing::PercentDecoded;

TEST(MailtoUrl, FieldSeparatorsInTheReportAreEscaped) {
  const std::string body = "a&b=c #1 100% x+y\r\n<?> \"q\" \xe4\xf6";
  const std::string url = MailtoUrl(" help@x.org; Bea <b@y.org> ", "Bug & fix", body);
  EXPECT_EQ(url,
            "mailto:help@x.org,Bea%20%3Cb@y.org%3E?subject=Bug%20%26%20fix&body="
            "a%26b%3Dc%20%231%20100%25%20x%2By%0D%0A%3C%3F%3E%20%22q%22%20\xe4\xf6");
  EXPECT_EQ(PercentDecoded(url.substr(url.find("&body=") + 6)), body);
}

TEST(MailtoUrl, InsertedForEveryPlaceholderOrAppended) {
  EXPECT_EQ(InsertMailtoUrl("mail.exe -c %1 -d \"%1\"", "U"), "mail.exe -c U -d \"U\"");
  EXPECT_EQ(InsertMailtoUrl("mail.exe ", "U"), "mail.exe U");
  EXPECT_EQ(InsertMailtoUrl("mail.exe", "U"), "mail.exe U");
  EXPECT_EQ(InsertMailtoUrl("mail.exe %2 %%1", "U"), "mail.exe %2 %U");
}

TEST(MailtoCommand, ShortLinesAreNotCut) {
  const auto line = MailProgramCommandLine("m.exe %1", "a@x.org", "s", "b", kMaxNtCommandLine);
  ASSERT_TRUE(line);
  EXPECT_EQ(*line, "m.exe mailto:a@x.org?subject=s&body=b");
  const std::string body(40000, 'b');
  EXPECT_EQ(MailProgramCommandLine("m.exe %1", "a@x.org", "s", body, 0)->size(), 40036u);
}

TEST(MailtoCommand, LongBodyIsCutBetweenEscapes) {
  // Blanks become three characters each, so every cut position meets a
  // "%20" somewhere; the kept body must always be whole escapes.
  for (size_t extra = 0; extra < 6; ++extra) {
    const std::string body = std::string(extra, 'x') + std::string(20000, ' ');
    for (const char* command : {"m.exe %1", "m.exe \"%1\" /also %1"}) {
      const auto line =
          MailProgramCommandLine(command, "Bea <b@y.org>", "subject", body, kMaxNtCommandLine);
      ASSERT_TRUE(line);
      EXPECT_LE(line->size(), kMaxNtCommandLine);
      EXPECT_GE(line->size(), kMaxNtCommandLine - 6);
      EXPECT_EQ(line->find("m.exe "), 0u);
      EXPECT_NE(line->find("mailto:Bea%20%3Cb@y.org%3E?subject=subject&body="), std::string::npos);
      const size_t body_at = line->find("&body=") + 6;
      const std::string kept = line->substr(body_at, line->find_first_of("\" ", body_at) - body_at);
      const std::string plain = PercentDecoded(kept);
      EXPECT_EQ(plain, body.substr(0, plain.size()));
    }
  }
}

TEST(MailtoCommand, AddressesThatDoNotFitGiveNoLine) {
  const std::string recipients(kMaxNtCommandLine, 'r');
  EXPECT_FALSE(MailProgramCommandLine("m.exe", recipients, "s", "b", kMaxNtCommandLine));
}

}  // namespace
}  // namespace qor
