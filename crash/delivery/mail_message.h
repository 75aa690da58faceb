// The text of a report mail: header block, MIME layout, attachment part
// heads, and the body made safe for the SMTP data phase.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qor {

inline constexpr char kMailBoundary[] = "Velomark_SMTP_Boundary";

// A moment in UTC, as the system clock gives it.
struct MailTime {
  uint16_t year = 0;
  uint16_t month = 0;  // 1 to 12
  uint16_t day = 0;
  uint16_t hour = 0;
  uint16_t minute = 0;
  uint16_t second = 0;
  uint64_t file_time = 0;  // 100-ns intervals since 1601-01-01
};

// "7 Mar 2024 09:05:03 UT": no weekday, day without leading zero.
std::string MailDateText(const MailTime& time);

// "<" + 16 lower-case hexadecimal digits of the file time + "@qorExcept>".
std::string MailMessageId(uint64_t file_time);

// "=?ISO-8859-1?Q?...?=" with every byte but letters and digits escaped.
// A long subject is written as several encoded words on folded lines, so
// that no header line grows beyond what mail servers accept.
std::string EncodeSubject(std::string_view subject);

struct MailHeader {
  std::string recipients;  // normalised list
  std::string sender;
  std::string subject;
  std::string app_name;
  MailTime time;
};

// "To:", "From:", "Subject:", "Date:" and "Message-ID:" lines, each ended
// by CR LF. Every recipient appears as its own address in "To:".
std::string MailHeaderBlock(const MailHeader& header);

// The multipart head and the opening of the text part, up to the body.
std::string MimeTextPartHead();

// The head of one attachment part, for the file at `path`.
std::string AttachmentPartHead(std::string_view path);

// "--" + boundary + "--" + CR LF.
std::string MimeClosingLine();

// The body for the data phase: every line end made CR LF, and a "." in
// front of every line that begins with ".", which the server removes again.
std::string DotStuffed(std::string_view body);

}  // namespace qor
