#include "crash/core/mail_fields.h"

#include "crash/attach/list_text.h"
#include "crash/attach/text_edit.h"
#include "crash/delivery/mail_address.h"

namespace qor {

std::string ReportExceptionMessage(std::string_view report) {
  const size_t start = report.find("\r\nexception message ");
  if (start == std::string_view::npos) return "Unknown";
  size_t end = report.find("\r\n", start + 10);
  if (end == std::string_view::npos) end = report.size();
  std::string_view line = report.substr(start + 2, end - start - 2);
  const size_t colon = line.find(':');
  if (colon != std::string_view::npos) line.remove_prefix(colon + 1);
  return TrimmedBlanks(line);
}

std::string MailSubjectFor(std::string_view configured, std::string_view core_file_name,
                           std::string_view report) {
  std::string subject(configured);
  ReplaceAll(subject, "%appname%", core_file_name, true, false);
  ReplaceAll(subject, "%exceptMsg%", ReportExceptionMessage(report), true, false);
  return subject;
}

std::string MailSenderFor(const char* override_sender, std::string_view recipients,
                          std::string_view program_base_name) {
  if (override_sender || recipients.empty()) return override_sender ? override_sender : "";
  std::string first = ListItem(NormaliseRecipients(recipients), 1, ',');
  const size_t angle = first.find('<');
  first = angle == std::string::npos ? "<" + first + ">" : first.substr(angle);
  return "qorExcept " + ReplaceAppName(first, program_base_name);
}

}  // namespace qor
