#include "crash/delivery/mail_address.h"

#include <algorithm>

#include "crash/attach/list_text.h"
#include "crash/attach/text_edit.h"

namespace qor {

std::string WithoutControlChars(std::string_view text) {
  std::string clean;
  clean.reserve(text.size());
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 32) clean.push_back(c);
  }
  return clean;
}

std::string NormaliseRecipients(std::string_view text) {
  std::string list = WithoutControlChars(text);
  std::replace(list.begin(), list.end(), ';', ',');
  TidyList(list, ',');
  return list;
}

std::string ProgramBaseName(std::string_view path) {
  const size_t slash = path.find_last_of("\\/");
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const size_t dot = name.rfind('.');
  if (dot != std::string_view::npos) name = name.substr(0, dot);
  return std::string(name);
}

std::string ReplaceAppName(std::string_view text, std::string_view app_name) {
  std::string replaced(text);
  ReplaceAll(replaced, "%appname%", app_name, true, false);
  return replaced;
}

std::string EnvelopeAddress(std::string_view text, std::string_view app_name) {
  const std::string clean = WithoutControlChars(text);
  const size_t open = clean.find('<');
  const std::string form = open == std::string::npos ? "<" + clean + ">" : clean.substr(open);
  return ReplaceAppName(form, app_name);
}

std::string HeaderAddress(std::string_view text, std::string_view app_name) {
  const std::string clean = WithoutControlChars(text);
  const std::string form = clean.find('<') == std::string::npos ? "<" + clean + ">" : clean;
  return ReplaceAppName(form, app_name);
}

MailName SplitMailAddress(std::string_view text) {
  const std::string clean = WithoutControlChars(text);
  const size_t open = clean.find('<');
  if (open == std::string::npos) return {clean, "SMTP:" + clean};
  std::string address = clean.substr(open + 1);
  const size_t close = address.find('>');
  if (close != std::string::npos) address.erase(close);
  return {clean.substr(0, open), "SMTP:" + address};
}

std::string MailDomain(std::string_view address) {
  const size_t at = address.find('@');
  std::string domain(at == std::string_view::npos ? address : address.substr(at + 1));
  if (!domain.empty() && domain.back() == '>') domain.pop_back();
  return domain;
}

std::string BaseDomain(std::string_view domain) {
  int dots = 0;
  for (size_t i = domain.size(); i-- > 0;) {
    if (domain[i] == '.' && ++dots == 3) return std::string(domain.substr(i + 1));
  }
  return std::string(domain);
}

}  // namespace qor
