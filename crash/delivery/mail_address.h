// Mail addresses as the delivery writes them: recipient lists, the envelope
// and header forms, the names MAPI wants, and the domain of an address.
#pragma once

#include <string>
#include <string_view>

namespace qor {

// Removes every byte below 32, so that no text taken from the settings or
// from a report can end a header line or an SMTP command early.
std::string WithoutControlChars(std::string_view text);

// ";" becomes ",", then the list is tidied with "," as delimiter; control
// bytes inside items are removed as well.
std::string NormaliseRecipients(std::string_view text);

// The program's file name without directory and extension, for "%appname%".
std::string ProgramBaseName(std::string_view path);

// Every "%appname%" (any case) replaced by `app_name`.
std::string ReplaceAppName(std::string_view text, std::string_view app_name);

// For "MAIL FROM:" and "RCPT TO:": "<" + text + ">" when the text has no
// "<", otherwise the text from the first "<" on (a display name is dropped).
std::string EnvelopeAddress(std::string_view text, std::string_view app_name);

// For "To: " and "From: ": "<" + text + ">" when the text has no "<",
// otherwise the whole text.
std::string HeaderAddress(std::string_view text, std::string_view app_name);

struct MailName {
  std::string name;
  std::string address;  // "SMTP:" + the bare address
};

// "Name <a@b>" gives the name "Name " (untrimmed) and "SMTP:a@b"; a text
// without "<" is both name and address.
MailName SplitMailAddress(std::string_view text);

// The part behind the first at-sign (the whole text without one), with a
// closing ">" removed.
std::string MailDomain(std::string_view address);

// The domain cut to its last three labels.
std::string BaseDomain(std::string_view domain);

}  // namespace qor
