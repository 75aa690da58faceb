#include "crash/delivery/smtp_reply.h"

#include <gtest/gtest.h>

#include <string>

namespace qor {
namespace {

using Status = SmtpReplyReader::Status;

constexpr char kEhloReply[] =
    "250-mail.test greets you\r\n250-SIZE 1000\r\n250-AUTH=LOGIN\r\n250 HELP\r\n";

TEST(SmtpReply, OneLineAndWrongCode) {
  EXPECT_EQ(SmtpReplyReader("220", nullptr).Feed("220 ready\r\n"), Status::kMatched);
  EXPECT_EQ(SmtpReplyReader("250", nullptr).Feed("550 no such user\r\n"), Status::kMismatched);
  EXPECT_EQ(SmtpReplyReader("250", nullptr).Feed("250\r\n"), Status::kMatched);
  EXPECT_EQ(SmtpReplyReader("250", nullptr).Feed("\r\n250 late\r\n"), Status::kMismatched);
}

TEST(SmtpReply, AnySplitOfAMultiLineReplyIsReadWhole) {
  // Every cut, including inside the code and between CR and LF.
  const std::string reply = kEhloReply;
  for (size_t cut = 1; cut < reply.size(); ++cut) {
    bool auth = false;
    SmtpReplyReader reader("250", &auth);
    EXPECT_EQ(reader.Feed(reply.substr(0, cut)), Status::kNeedMore) << cut;
    EXPECT_EQ(reader.Feed(reply.substr(cut)), Status::kMatched) << cut;
    EXPECT_TRUE(auth) << cut;
  }
  SmtpReplyReader bytewise("250", nullptr);
  for (size_t i = 0; i + 1 < reply.size(); ++i) {
    ASSERT_EQ(bytewise.Feed(reply.substr(i, 1)), Status::kNeedMore) << i;
  }
  EXPECT_EQ(bytewise.Feed("\n"), Status::kMatched);
}

TEST(SmtpReply, WrongCodeIsSeenBeforeTheLineEnds) {
  SmtpReplyReader reader("250", nullptr);
  EXPECT_EQ(reader.Feed("2"), Status::kNeedMore);
  EXPECT_EQ(reader.Feed("5"), Status::kNeedMore);
  EXPECT_EQ(reader.Feed("4"), Status::kMismatched);
  // Nothing after a final status changes it.
  EXPECT_EQ(reader.Feed("250 OK\r\n"), Status::kMismatched);
}

TEST(SmtpReply, AuthLoginIsFoundInEverySpelling) {
  const struct {
    const char* line;
    bool login;
  } cases[] = {
      {"250-AUTH=LOGIN", true},       {"250-AUTH PLAIN LOGIN", true},
      {"250-AUTH LOGIN", true},       {"250-auth cram-md5 login", true},
      {"250-AUTH=PLAIN LOGIN", true}, {"250-AUTH PLAIN", false},
      {"250-AUTH PLAIN LOGINX", false}, {"250-XAUTH LOGIN", false},
      {"250-SIZE LOGIN", false},      {"250-AUTH", false},
  };
  for (const auto& c : cases) {
    bool auth = false;
    SmtpReplyReader reader("250", &auth);
    EXPECT_EQ(reader.Feed(std::string(c.line) + "\r\n250 HELP\r\n"), Status::kMatched);
    EXPECT_EQ(auth, c.login) << c.line;
  }
}

TEST(SmtpReply, BareLineFeedsEndLinesToo) {
  bool auth = false;
  SmtpReplyReader reader("250", &auth);
  EXPECT_EQ(reader.Feed("250-x\n250-AUTH LOGIN\n"), Status::kNeedMore);
  EXPECT_EQ(reader.Feed("250 y\n"), Status::kMatched);
  EXPECT_TRUE(auth);
}

TEST(SmtpReply, EndlessReplyIsRefused) {
  SmtpReplyReader reader("250", nullptr);
  const std::string line = "250-" + std::string(96, 'x') + "\r\n";
  Status status = Status::kNeedMore;
  size_t fed = 0;
  while (status == Status::kNeedMore && fed <= SmtpReplyReader::kMaxReplyBytes) {
    status = reader.Feed(line);
    fed += line.size();
  }
  EXPECT_EQ(status, Status::kMismatched);
  // One long line without an end is refused the same way.
  SmtpReplyReader long_line("250", nullptr);
  EXPECT_EQ(long_line.Feed("250 " + std::string(SmtpReplyReader::kMaxReplyBytes, 'y')),
            Status::kMismatched);
}

}  // namespace
}  // namespace qor
