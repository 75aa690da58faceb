// The SMTP conversation against a real server (aiosmtpd) on 127.0.0.1,
// started by the test: what arrives, byte for byte, and how the client
// copes with authentication, refusals and a server that says nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "crash/attach/base64.h"
#include "crash/delivery/smtp_delivery.h"
#include "crash/delivery/testing/loopback_guard.h"
#include "crash/delivery/testing/peer_process.h"

namespace qor {
namespace {

using testing::LoopbackGuard;
using testing::PeerProcess;

std::string WriteFile(const std::string& name, const std::string& bytes) {
  const std::filesystem::path path = std::filesystem::temp_directory_path() / name;
  std::ofstream(path, std::ios::binary) << bytes;
  return path.string();
}

std::string EveryByte(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 256) & 0xff);
  return bytes;
}

class SmtpConversationTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    peer_ = new PeerProcess("smtp_peer.py",
                            {"plain:plain", "login:auth-login", "plainlogin:auth-plain-login",
                             "plainonly:auth-plain", "split:split", "helo:helo-only",
                             "silent:silent"});
  }
  static void TearDownTestSuite() {
    delete peer_;
    peer_ = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(peer_->ready()) << "the SMTP test server did not start";
    guard_ = std::make_unique<LoopbackGuard>(std::vector<std::string>{},
                                             std::vector<std::string>{}, 0);
    events_before_ = peer_->Events().size();
    messages_before_ = Count();
  }

  void TearDown() override {
    for (Ipv4Address address : LoopbackGuard::Addresses()) {
      EXPECT_TRUE(testing::IsLoopback(address)) << std::hex << address;
    }
    guard_.reset();
  }

  static MailRequest Request(const std::string& server) {
    MailRequest request;
    request.sender = "Crash Reporter <crash@varnel.test>";
    request.recipients = "support@varnel.test";
    request.subject = "Bug report";
    request.body = "Line one\r\nLine two\r\n";
    request.server = "127.0.0.1";
    request.port = peer_->Port(server);
    return request;
  }

  static int Count() { return std::stoi(peer_->Ask("count")["count"]); }
  int NewMessages() const { return Count() - messages_before_; }
  static std::map<std::string, std::string> LastMessage() {
    return peer_->Ask("message " + std::to_string(Count()));
  }
  std::vector<std::string> NewEvents() const {
    const std::vector<std::string> all = peer_->Events();
    return std::vector<std::string>(all.begin() + static_cast<long>(events_before_), all.end());
  }

  static PeerProcess* peer_;
  std::unique_ptr<LoopbackGuard> guard_;
  size_t events_before_ = 0;
  int messages_before_ = 0;
};

PeerProcess* SmtpConversationTest::peer_ = nullptr;

TEST_F(SmtpConversationTest, ReportWithAttachmentsArrivesIntact) {
  const std::string report = EveryByte(3000);
  const std::string png = "\x89PNG\r\n\x1a\n" + EveryByte(5000);
  MailRequest request = Request("plain");
  request.subject = "Access violation at $0040a1b2 in Uninstall.exe: \xe4\xf6\xfc =?x?= \"q\"";
  request.body = ".\r\nReport\r\n.\r\n.x\r\n..y\r\n\xe9t\xe9 \x80\r\nlast line";
  request.attachments = WriteFile("qor_report.txt", report) + "| " +
                        WriteFile("qor_shot.png", png) + " |" +
                        (std::filesystem::temp_directory_path() / "qor_missing.bin").string();
  ASSERT_TRUE(SmtpSendMail(request));
  ASSERT_EQ(NewMessages(), 1);
  auto mail = LastMessage();
  EXPECT_EQ(mail["from"], "crash@varnel.test");
  EXPECT_EQ(mail["to"], "support@varnel.test");
  EXPECT_EQ(mail["subject"], request.subject);
  // The line end in front of the boundary belongs to the boundary.
  EXPECT_EQ(mail["body"], request.body);
  EXPECT_EQ(mail["file:qor_report.txt"], report);
  EXPECT_EQ(mail["file:qor_shot.png"], png);
  EXPECT_EQ(mail.count("file:qor_missing.bin"), 0u);
  EXPECT_NE(mail["raw"].find("Content-Type: image/png; name=\"qor_shot.png\""), std::string::npos);
  EXPECT_TRUE(mail["raw"].starts_with("To: <support@varnel.test>\r\n"));
}

TEST_F(SmtpConversationTest, AttachmentLinesHold57BytesEach) {
  const std::string bytes = EveryByte(58);
  MailRequest request = Request("plain");
  request.attachments = WriteFile("qor_58.bin", bytes) + "|" + WriteFile("qor_empty.bin", "");
  ASSERT_TRUE(SmtpSendMail(request));
  auto mail = LastMessage();
  const std::string& raw = mail["raw"];
  const std::string first = Base64Encode(reinterpret_cast<const uint8_t*>(bytes.data()), 57);
  const size_t at = raw.find("\r\n\r\n" + first + "\r\n");
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(first.size(), 76u);
  const std::string second = Base64Encode(reinterpret_cast<const uint8_t*>(bytes.data()) + 57, 1);
  EXPECT_EQ(raw.substr(at + 4 + 78, second.size() + 2), second + "\r\n");
  EXPECT_EQ(second.size(), 4u);
  // An empty file makes no part at all.
  EXPECT_EQ(raw.find("qor_empty.bin"), std::string::npos);
  EXPECT_EQ(mail["file:qor_58.bin"], bytes);
}

TEST_F(SmtpConversationTest, AuthLoginInBothSpellings) {
  for (const char* server : {"login", "plainlogin"}) {
    MailRequest request = Request(server);
    request.user = "reporter";
    request.password = "s3cret";
    EXPECT_TRUE(SmtpSendMail(request)) << server;
    request.password = "wrong";
    EXPECT_FALSE(SmtpSendMail(request)) << server;
  }
  EXPECT_EQ(NewMessages(), 2);
  const auto events = NewEvents();
  EXPECT_EQ(std::count(events.begin(), events.end(), "login AUTH LOGIN"), 2);
  EXPECT_EQ(std::count(events.begin(), events.end(), "plainlogin AUTH LOGIN"), 2);
}

TEST_F(SmtpConversationTest, CredentialsAreNotSentWithoutLogin) {
  MailRequest request = Request("plainonly");
  request.user = "reporter";
  request.password = "s3cret";
  EXPECT_FALSE(SmtpSendMail(request));
  EXPECT_EQ(NewEvents(), (std::vector<std::string>{"connect plainonly", "plainonly EHLO",
                                                   "plainonly QUIT"}));
  // A server that knows only HELO cannot take credentials either, but it
  // takes a mail without them.
  request.port = peer_->Port("helo");
  EXPECT_FALSE(SmtpSendMail(request));
  request.user.clear();
  request.password.clear();
  EXPECT_TRUE(SmtpSendMail(request));
  EXPECT_EQ(NewMessages(), 1);
}

TEST_F(SmtpConversationTest, EhloReplySplitInsideALine) {
  MailRequest request = Request("split");
  ASSERT_TRUE(SmtpSendMail(request));
  EXPECT_EQ(LastMessage()["body"], request.body + "\r\n");
  const auto events = NewEvents();
  EXPECT_EQ(std::count(events.begin(), events.end(), "split EHLO"), 1);
  EXPECT_EQ(std::count(events.begin(), events.end(), "split HELO"), 0);
}

TEST_F(SmtpConversationTest, OneRecipientRefusedTheOtherServed) {
  MailRequest request = Request("plain");
  request.recipients = "reject@varnel.test; Sue <sue@varnel.test>";
  ASSERT_TRUE(SmtpSendMail(request));
  auto mail = LastMessage();
  EXPECT_EQ(mail["to"], "sue@varnel.test");
  EXPECT_TRUE(mail["raw"].starts_with("To: <reject@varnel.test>, Sue <sue@varnel.test>\r\n"));
  request.recipients = "reject@varnel.test";
  EXPECT_FALSE(SmtpSendMail(request));
  EXPECT_EQ(NewMessages(), 1);
}

TEST_F(SmtpConversationTest, EmptySenderIsTheRecipient) {
  MailRequest request = Request("plain");
  request.sender.clear();
  request.recipients = "Sue <sue@varnel.test>, bob@varnel.test";
  ASSERT_TRUE(SmtpSendMail(request));
  EXPECT_EQ(LastMessage()["from"], "sue@varnel.test");
}

TEST_F(SmtpConversationTest, NothingToSayEndsWithReset) {
  MailRequest request = Request("plain");
  request.subject.clear();
  request.body.clear();
  EXPECT_TRUE(SmtpSendMail(request));
  EXPECT_EQ(NewMessages(), 0);
  const auto events = NewEvents();
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events[events.size() - 2], "plain RSET");
  EXPECT_EQ(events.back(), "plain QUIT");
}

TEST_F(SmtpConversationTest, HeaderInjectionStaysInsideItsField) {
  MailRequest request = Request("plain");
  request.sender = "Crash\r\nBcc: spy@evil.test <crash@varnel.test>";
  request.subject = "Oops\r\nBcc: spy@evil.test";
  ASSERT_TRUE(SmtpSendMail(request));
  auto mail = LastMessage();
  EXPECT_EQ(mail["raw"].find("\r\nBcc:"), std::string::npos);
  EXPECT_EQ(mail["subject"], request.subject);
  EXPECT_EQ(mail["to"], "support@varnel.test");
  EXPECT_EQ(mail["from"], "crash@varnel.test");
}

TEST_F(SmtpConversationTest, SilentServerTimesOut) {
  // The greeting never comes: the wait ends after the reply time-out.
  EXPECT_FALSE(SmtpSendMail(Request("silent")));
  EXPECT_EQ(NewEvents(), std::vector<std::string>{"connect silent"});
}

TEST_F(SmtpConversationTest, RefusedWithoutRecipientsOrServer) {
  MailRequest request = Request("plain");
  request.recipients = " ; ";
  EXPECT_FALSE(SmtpSendMail(request));
  request = Request("plain");
  request.port = 1;  // nothing listens there
  EXPECT_FALSE(SmtpSendMail(request));
  EXPECT_TRUE(NewEvents().empty());
}

// Not a check: prints how long a typical report takes.
TEST_F(SmtpConversationTest, TimeForAReportWithAScreenshot) {
  MailRequest request = Request("plain");
  std::string body;
  while (body.size() < 50 * 1024) body += "00401a2b  Uninstall.exe  main.cpp  ContinueBtnClick  42\r\n";
  request.body = body;
  request.attachments = WriteFile("qor_100k.png", EveryByte(100 * 1024));
  std::vector<double> milliseconds;
  for (int i = 0; i < 20; ++i) {
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(SmtpSendMail(request));
    milliseconds.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(milliseconds.begin(), milliseconds.end());
  std::printf("delivery of a 50 KB report with a 100 KB attachment: median %.1f ms of 20\n",
              (milliseconds[9] + milliseconds[10]) / 2);
  EXPECT_EQ(NewMessages(), 20);
}

}  // namespace
}  // namespace qor
