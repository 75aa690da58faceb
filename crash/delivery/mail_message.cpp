#include "crash/delivery/mail_message.h"

#include "crash/attach/case_compare.h"
#include "crash/attach/number_text.h"
#include "crash/delivery/escape_chars.h"
#include "crash/delivery/mail_address.h"

namespace qor {
namespace {

constexpr char kLineEnd[] = "\r\n";
constexpr char kEncodedWordStart[] = "=?ISO-8859-1?Q?";
constexpr char kEncodedWordEnd[] = "?=";
// Encoded characters per word: with its frame and "Subject: " a line stays
// under 80 characters.
constexpr size_t kEncodedWordChars = 45;

std::string TwoDigits(unsigned value) {
  return std::string{static_cast<char>('0' + value / 10 % 10), static_cast<char>('0' + value % 10)};
}

std::string FileNameOf(std::string_view path) {
  const size_t slash = path.find_last_of("\\/");
  return WithoutControlChars(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

bool EndsWithPng(std::string_view path) {
  return path.size() >= 4 && EqualNoCase(path.substr(path.size() - 4), ".png");
}

}  // namespace

std::string MailDateText(const MailTime& time) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const char* month = time.month >= 1 && time.month <= 12 ? kMonths[time.month - 1] : "Jan";
  return std::to_string(time.day) + " " + month + " " + std::to_string(time.year) + " " +
         TwoDigits(time.hour) + ":" + TwoDigits(time.minute) + ":" + TwoDigits(time.second) + " UT";
}

std::string MailMessageId(uint64_t file_time) {
  std::string id = FormatHex64(file_time, 16, '0');
  id[0] = '<';
  return id + "@qorExcept>";
}

std::string EncodeSubject(std::string_view subject) {
  const std::string escaped = EscapeChars(subject, NonAlphanumericChars(), '=');
  std::string encoded = kEncodedWordStart;
  size_t word_chars = 0;
  for (size_t i = 0; i < escaped.size();) {
    // An escape and its two digits stay in one word.
    const size_t token = escaped[i] == '=' ? 3 : 1;
    if (word_chars + token > kEncodedWordChars) {
      encoded += std::string(kEncodedWordEnd) + kLineEnd + " " + kEncodedWordStart;
      word_chars = 0;
    }
    encoded.append(escaped, i, token);
    word_chars += token;
    i += token;
  }
  return encoded + kEncodedWordEnd;
}

std::string MailHeaderBlock(const MailHeader& header) {
  std::string to;
  size_t start = 0;
  while (start < header.recipients.size()) {
    size_t end = header.recipients.find(',', start);
    if (end == std::string::npos) end = header.recipients.size();
    if (!to.empty()) to += ", ";
    to += HeaderAddress(std::string_view(header.recipients).substr(start, end - start),
                        header.app_name);
    start = end + 1;
  }
  return "To: " + to + kLineEnd + "From: " + HeaderAddress(header.sender, header.app_name) +
         kLineEnd + "Subject: " + EncodeSubject(header.subject) + kLineEnd +
         "Date: " + MailDateText(header.time) + kLineEnd +
         "Message-ID: " + MailMessageId(header.time.file_time) + kLineEnd;
}

std::string MimeTextPartHead() {
  const std::string boundary = kMailBoundary;
  return std::string("MIME-Version: 1.0") + kLineEnd +
         "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"" + kLineEnd + kLineEnd +
         "This is a multi-part message in MIME format." + kLineEnd + kLineEnd +
         "--" + boundary + kLineEnd +
         "Content-Type: text/plain; charset=\"iso-8859-1\"" + kLineEnd +
         "Content-Transfer-Encoding: 8bit" + kLineEnd + kLineEnd;
}

std::string AttachmentPartHead(std::string_view path) {
  const std::string name = FileNameOf(path);
  const char* type = EndsWithPng(path) ? "image/png" : "application/octet-stream";
  return "--" + std::string(kMailBoundary) + kLineEnd +
         "Content-Type: " + type + "; name=\"" + name + "\"" + kLineEnd +
         "Content-Transfer-Encoding: base64" + kLineEnd +
         "Content-Disposition: attachment; filename=\"" + name + "\"" + kLineEnd + kLineEnd;
}

std::string MimeClosingLine() { return "--" + std::string(kMailBoundary) + "--" + kLineEnd; }

std::string DotStuffed(std::string_view body) {
  std::string stuffed;
  stuffed.reserve(body.size() + body.size() / 64);
  bool line_start = true;
  for (size_t i = 0; i < body.size(); ++i) {
    const char c = body[i];
    if (c == '\r' || c == '\n') {
      // A lone CR or LF becomes CR LF: SMTP allows no other line end, and
      // servers differ in what they make of one.
      if (c == '\r' && i + 1 < body.size() && body[i + 1] == '\n') ++i;
      stuffed += "\r\n";
      line_start = true;
      continue;
    }
    if (line_start && c == '.') stuffed.push_back('.');
    stuffed.push_back(c);
    line_start = false;
  }
  return stuffed;
}

}  // namespace qor
