#include "crash/core/error_page.h"

#include "crash/attach/text_edit.h"

namespace qor {
namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr int kShowButton = 3;
constexpr int kContinueButton = 4;
// The show button's text is kept within this many characters, caption
// included.
constexpr size_t kMaxButtonText = 255;

constexpr std::string_view kShowButtonStart =
    "<button onClick=\"document.getElementById('bugReport').style.visibility='visible';"
    "this.style.visibility='hidden';\" style=\"height:19.5pt;\">&nbsp;";
constexpr std::string_view kButtonEnd = "&nbsp;</button>";

std::string_view Reference(char c) {
  switch (c) {
    case '&': return "&amp;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '"': return "&quot;";
    case '\'': return "&#39;";
    default: return {};
  }
}

// Escapes `text` as far as the result stays within `limit` characters,
// never cutting a character reference in two.
std::string EscapeHtmlWithin(std::string_view text, size_t limit) {
  std::string result;
  for (const char c : text) {
    const std::string_view reference = Reference(c);
    const size_t length = reference.empty() ? 1 : reference.size();
    if (result.size() + length > limit) break;
    if (reference.empty()) {
      result += c;
    } else {
      result += reference;
    }
  }
  return result;
}

// The message line: the configured text with the report's exception
// message in it and its line breaks as HTML line breaks.
std::string MessageHtml(std::string_view report, const TExceptSettings& settings) {
  // The page knows only the message and line breaks: "%appname%" stays.
  std::string text = ExpandPlaceholders(EscapeHtml(settings.ErrorMessage.View()), "%appname%",
                                        EscapeHtml(ExceptMessageOfReport(report)));
  ReplaceAll(text, kCrLf, "<br>\r\n", false, false);
  return text;
}

std::string ShowButtonHtml(const TExceptSettings& settings) {
  const std::string_view caption = settings.ButtonCaptions[kShowButton].View();
  if (settings.ShowDetailsAtStart || caption.empty()) return "&nbsp;";
  const size_t room = kMaxButtonText - kShowButtonStart.size() - kButtonEnd.size();
  return std::string(kShowButtonStart) + EscapeHtmlWithin(caption, room) + std::string(kButtonEnd);
}

}  // namespace

std::string ExceptMessageOfReport(std::string_view report) {
  constexpr std::string_view kLabel = "\r\nexception message ";
  const size_t label = report.find(kLabel);
  if (label == std::string_view::npos) return "Unknown";
  std::string_view line = report.substr(label + kLabel.size());
  line = line.substr(0, line.find(kCrLf));
  const size_t colon = line.find(':');
  if (colon != std::string_view::npos) line.remove_prefix(colon + 1);
  return TrimmedBlanks(line);
}

std::string EscapeHtml(std::string_view text) { return EscapeHtmlWithin(text, std::string::npos); }

std::string ErrorPageHtml(std::string_view report, const TExceptSettings& settings,
                          std::string_view app_name) {
  std::string title = EscapeHtml(settings.TitleText.View());
  ReplaceAll(title, "%appname%", EscapeHtml(app_name), true, false);
  std::string caption = EscapeHtml(settings.ButtonCaptions[kContinueButton].View());
  if (caption.empty()) caption = "continue application";

  std::string page = "<html><head><title>" + title + "</title></head><body>\r\n";
  page += "<table border=\"0\" width=\"100%\" height=\"100%\">\r\n";
  page += "<tr><td colspan=4 style=\"height:2pt;\"></td></tr>\r\n";
  page += "<tr><td colspan=4 valign=\"top\">";
  page += "<p style=\"font-family:'MS Sans Serif';font-size:13pt;margin-left:4px;\">";
  page += MessageHtml(report, settings) + "</p></td></tr>\r\n";
  page += "<tr><td colspan=4 style=\"height:8pt;\"></td></tr>\r\n";
  page += "<tr><td><button onClick=\"history.back();\" style=\"height:19.5pt;\">&nbsp;";
  page += caption + "&nbsp;</button></td>\r\n";
  page += "<td><p>&nbsp;&nbsp;</p></td>\r\n";
  page += "<td>" + ShowButtonHtml(settings) + "</td>\r\n";
  page += "<td width=\"100%\"></td></tr>\r\n";
  page += "<tr><td colspan=4 style=\"height:8pt;\"></td></tr>\r\n";
  page += "<tr><td colspan=4 height=\"100%\">\r\n";
  page += "<textarea id=\"bugReport\" readonly cols=\"80\" rows=\"20\" style=\"width:100%;height:100%;";
  if (!settings.ShowDetailsAtStart) page += "visibility:hidden;";
  page += "\">\r\n" + EscapeHtml(report) + "</textarea></td></tr></table></body></html>";
  return page;
}

std::string CgiErrorResponse(std::string_view page) {
  return "Status: 500 Internal Server Error\r\nContent-Type: text/html\r\n\r\n" + std::string(page);
}

}  // namespace qor
