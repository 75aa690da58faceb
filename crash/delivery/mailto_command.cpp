#include "crash/delivery/mailto_command.h"

#include "crash/delivery/escape_chars.h"
#include "crash/delivery/mail_address.h"

namespace qor {
namespace {

std::string Escaped(std::string_view text) { return EscapeChars(text, MailtoEscapeChars(), '%'); }

std::string UrlWithEscapedBody(std::string_view recipients, std::string_view subject,
                               std::string_view escaped_body) {
  // Blanks and brackets of a display name would break the URL as much as
  // those of the subject.
  return "mailto:" + Escaped(NormaliseRecipients(recipients)) + "?subject=" + Escaped(subject) +
         "&body=" + std::string(escaped_body);
}

size_t UrlCount(std::string_view command) {
  size_t count = 0;
  for (size_t at = command.find("%1"); at != std::string_view::npos; at = command.find("%1", at + 2)) {
    ++count;
  }
  return count == 0 ? 1 : count;
}

// A cut at `length` must not fall inside "%" and its two digits.
size_t WholeEscapes(std::string_view escaped, size_t length) {
  if (length >= 1 && escaped[length - 1] == '%') return length - 1;
  if (length >= 2 && escaped[length - 2] == '%') return length - 2;
  return length;
}

}  // namespace

std::string MailtoUrl(std::string_view recipients, std::string_view subject,
                      std::string_view body) {
  return UrlWithEscapedBody(recipients, subject, Escaped(body));
}

std::string InsertMailtoUrl(std::string_view command, std::string_view url) {
  if (command.find("%1") == std::string_view::npos) {
    std::string line(command);
    if (line.empty() || line.back() != ' ') line.push_back(' ');
    return line + std::string(url);
  }
  std::string line;
  size_t start = 0;
  for (size_t at = command.find("%1"); at != std::string_view::npos; at = command.find("%1", start)) {
    line.append(command.substr(start, at - start)).append(url);
    start = at + 2;
  }
  return line.append(command.substr(start));
}

std::optional<std::string> MailProgramCommandLine(std::string_view command,
                                                  std::string_view recipients,
                                                  std::string_view subject, std::string_view body,
                                                  size_t max_length) {
  const std::string escaped_body = Escaped(body);
  std::string line = InsertMailtoUrl(command, UrlWithEscapedBody(recipients, subject, escaped_body));
  if (max_length == 0 || line.size() <= max_length) return line;
  // The body appears once per URL in the command.
  const size_t copies = UrlCount(command);
  const size_t cut = (line.size() - max_length + copies - 1) / copies;
  if (cut > escaped_body.size()) return std::nullopt;
  const std::string_view kept(escaped_body.data(),
                              WholeEscapes(escaped_body, escaped_body.size() - cut));
  return InsertMailtoUrl(command, UrlWithEscapedBody(recipients, subject, kept));
}

}  // namespace qor
