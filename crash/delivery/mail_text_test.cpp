// Addresses, escapes and the text of the mail, before any socket is used.
#include <gtest/gtest.h>

#include <string>

#include "crash/delivery/escape_chars.h"
#include "crash/delivery/mail_address.h"
#include "crash/delivery/mail_message.h"

namespace qor {
namespace {

TEST(MailAddress, RecipientListsAreNormalised) {
  EXPECT_EQ(NormaliseRecipients(" a@x.org ; b@y.org,, ;c@z.org "), "a@x.org,b@y.org,c@z.org");
  EXPECT_EQ(NormaliseRecipients(" ;, "), "");
  // A line break inside an address would start a header line of its own.
  EXPECT_EQ(NormaliseRecipients("a@x.org\r\nBcc: spy@evil.test"), "a@x.orgBcc: spy@evil.test");
}

TEST(MailAddress, EnvelopeAndHeaderForms) {
  EXPECT_EQ(EnvelopeAddress("a@x.org", "App"), "<a@x.org>");
  EXPECT_EQ(EnvelopeAddress("Support Team <help@x.org>", "App"), "<help@x.org>");
  EXPECT_EQ(HeaderAddress("Support Team <help@x.org>", "App"), "Support Team <help@x.org>");
  EXPECT_EQ(HeaderAddress("a@x.org", "App"), "<a@x.org>");
  EXPECT_EQ(EnvelopeAddress("%AppName%@x.org", "Uninstall"), "<Uninstall@x.org>");
  EXPECT_EQ(HeaderAddress("%appname% <%APPNAME%@x.org>", "Uninstall"),
            "Uninstall <Uninstall@x.org>");
  EXPECT_EQ(EnvelopeAddress("a@x.org\r\nRSET", "App"), "<a@x.orgRSET>");
}

TEST(MailAddress, ProgramBaseName) {
  EXPECT_EQ(ProgramBaseName("C:\\Program Files\\Varnel\\Uninstall.exe"), "Uninstall");
  EXPECT_EQ(ProgramBaseName("/opt/x.y/tool"), "tool");
  EXPECT_EQ(ProgramBaseName("archive.tar.gz"), "archive.tar");
}

TEST(MailAddress, SplitForMapi) {
  MailName name = SplitMailAddress("Support Team <help@x.org>");
  EXPECT_EQ(name.name, "Support Team ");
  EXPECT_EQ(name.address, "SMTP:help@x.org");
  name = SplitMailAddress("help@x.org");
  EXPECT_EQ(name.name, "help@x.org");
  EXPECT_EQ(name.address, "SMTP:help@x.org");
  name = SplitMailAddress("<help@x.org> (desk)");
  EXPECT_EQ(name.name, "");
  EXPECT_EQ(name.address, "SMTP:help@x.org");
}

TEST(MailAddress, DomainAndBaseDomain) {
  const std::string domain = MailDomain("Joe <joe@host.mail.corp.test>");
  EXPECT_EQ(domain, "host.mail.corp.test");
  EXPECT_EQ(BaseDomain(domain), "mail.corp.test");
  EXPECT_EQ(BaseDomain("mail.corp.test"), "mail.corp.test");
  EXPECT_EQ(BaseDomain("a.b.c.d.e"), "c.d.e");
  EXPECT_EQ(MailDomain("no-at-sign.test"), "no-at-sign.test");
}

TEST(EscapeChars, WritesTwoUpperCaseDigits) {
  EXPECT_EQ(EscapeChars("a b\r\n\xe9", MakeCharSet(" \r\n\xe9"), '%'), "a%20b%0D%0A%E9");
  EXPECT_EQ(EscapeChars("Bug report!", NonAlphanumericChars(), '='), "Bug=20report=21");
  EXPECT_EQ(EscapeChars(std::string(1, '\0'), NonAlphanumericChars(), '='), "=00");
  const std::string plain = "x&y=z#1%2+<>?\"";
  EXPECT_EQ(EscapeChars(plain, MailtoEscapeChars(), '%'), "x%26y%3Dz%231%252%2B%3C%3E%3F%22");
}

// Decodes "=?ISO-8859-1?Q?...?=" words joined by folded lines.
std::string DecodeSubject(const std::string& encoded) {
  std::string text;
  size_t at = 0;
  while ((at = encoded.find("=?ISO-8859-1?Q?", at)) != std::string::npos) {
    at += 15;
    const size_t end = encoded.find("?=", at);
    for (size_t i = at; i < end; ++i) {
      if (encoded[i] == '=') {
        text.push_back(static_cast<char>(std::stoi(encoded.substr(i + 1, 2), nullptr, 16)));
        i += 2;
      } else {
        text.push_back(encoded[i]);
      }
    }
    at = end + 2;
  }
  return text;
}

TEST(MailMessage, SubjectIsEncodedAndFolded) {
  EXPECT_EQ(EncodeSubject("Bug report"), "=?ISO-8859-1?Q?Bug=20report?=");
  EXPECT_EQ(EncodeSubject(""), "=?ISO-8859-1?Q?" "?=");
  std::string subject;
  for (int i = 0; i < 120; ++i) subject += "Fehler \xfc" + std::to_string(i) + "\r\n";
  const std::string encoded = EncodeSubject(subject);
  EXPECT_EQ(DecodeSubject(encoded), subject);
  // Lines end only where a new encoded word begins, and stay short.
  size_t start = 0;
  while (true) {
    const size_t end = encoded.find("\r\n", start);
    const std::string line = encoded.substr(start, end == std::string::npos ? end : end - start);
    EXPECT_LE(line.size() + 9, 78u) << line;
    if (end == std::string::npos) break;
    EXPECT_EQ(encoded.substr(end, 18), "\r\n =?ISO-8859-1?Q?");
    start = end + 2;
  }
}

TEST(MailMessage, DateAndMessageId) {
  MailTime time;
  time.year = 2024;
  time.month = 3;
  time.day = 7;
  time.hour = 9;
  time.minute = 5;
  time.second = 3;
  EXPECT_EQ(MailDateText(time), "7 Mar 2024 09:05:03 UT");
  time.month = 12;
  time.day = 31;
  time.hour = 23;
  EXPECT_EQ(MailDateText(time), "31 Dec 2024 23:05:03 UT");
  EXPECT_EQ(MailMessageId(0x1f), "<000000000000001f@qorExcept>");
  EXPECT_EQ(MailMessageId(0x01da70a1b2c3d4e5ull), "<01da70a1b2c3d4e5@qorExcept>");
}

TEST(MailMessage, HeaderBlockNamesEveryRecipient) {
  MailHeader header;
  header.recipients = "a@x.org,Bea <b@y.org>";
  header.sender = "%appname% <crash@x.org>\r\nBcc: c@z.org";
  header.subject = "Access violation\r\nBcc: d@z.org";
  header.app_name = "Uninstall";
  header.time.year = 2024;
  header.time.month = 1;
  header.time.day = 2;
  header.time.file_time = 0x1234;
  EXPECT_EQ(MailHeaderBlock(header),
            "To: <a@x.org>, Bea <b@y.org>\r\n"
            "From: Uninstall <crash@x.org>Bcc: c@z.org\r\n"
            "Subject: =?ISO-8859-1?Q?Access=20violation=0D=0ABcc=3A=20d=40z=2Eorg?=\r\n"
            "Date: 2 Jan 2024 00:00:00 UT\r\n"
            "Message-ID: <0000000000001234@qorExcept>\r\n");
}

TEST(MailMessage, PartHeads) {
  EXPECT_EQ(AttachmentPartHead("C:\\reports\\Shot.PNG"),
            "--Velomark_SMTP_Boundary\r\n"
            "Content-Type: image/png; name=\"Shot.PNG\"\r\n"
            "Content-Transfer-Encoding: base64\r\n"
            "Content-Disposition: attachment; filename=\"Shot.PNG\"\r\n\r\n");
  EXPECT_NE(AttachmentPartHead("/tmp/bugreport.txt").find(
                "Content-Type: application/octet-stream; name=\"bugreport.txt\"\r\n"),
            std::string::npos);
  const std::string head = MimeTextPartHead();
  EXPECT_EQ(head.find("MIME-Version: 1.0\r\n"), 0u);
  EXPECT_NE(head.find("boundary=\"Velomark_SMTP_Boundary\"\r\n\r\n"), std::string::npos);
  EXPECT_TRUE(head.ends_with("--Velomark_SMTP_Boundary\r\n"
                             "Content-Type: text/plain; charset=\"iso-8859-1\"\r\n"
                             "Content-Transfer-Encoding: 8bit\r\n\r\n"));
  EXPECT_EQ(MimeClosingLine(), "--Velomark_SMTP_Boundary--\r\n");
}

TEST(MailMessage, DotStuffing) {
  const struct {
    const char* body;
    const char* stuffed;
  } cases[] = {
      {"a\r\n.\r\nb", "a\r\n..\r\nb"},
      {".x\r\n..y", "..x\r\n...y"},
      {".", ".."},
      {"a.b\r\n x.", "a.b\r\n x."},
      {"a\n.b\rc\r\r\n", "a\r\n..b\r\nc\r\n\r\n"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(DotStuffed(c.body), c.stuffed) << c.body;
}

}  // namespace
}  // namespace qor
