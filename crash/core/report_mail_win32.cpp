// Mailing the report: subject, sender and attachments, the delivery
// methods in their order, and telling the user the result.
#include <windows.h>

#include <fstream>

#include "crash/attach/case_compare.h"
#include "crash/attach/screenshot_png.h"
#include "crash/attach/smtp_password.h"
#include "crash/attach/text_edit.h"
#include "crash/core/core_module.h"
#include "crash/core/mail_fields.h"
#include "crash/core/report_actions.h"
#include "crash/core/report_file.h"
#include "crash/core/settings_win32.h"
#include "crash/delivery/mail_client.h"
#include "crash/delivery/mail_platform.h"
#include "crash/delivery/smtp_delivery.h"
#include "crash/modules/module_tools.h"

namespace qor {
namespace {

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string TempDirectory() {
  char path[MAX_PATH + 1];
  const DWORD length = GetTempPathA(sizeof path, path);
  if (length == 0 || length > MAX_PATH) return {};
  std::string directory(path, length);
  if (directory.back() == '\\') directory.pop_back();
  CreateDirectoryA(directory.c_str(), nullptr);
  return directory;
}

// The attachments joined by "|"; `copy` receives the bug-report file's
// temporary copy when one was made for deletion after the mail.
std::string Attachments(std::span<const uint8_t> screenshot_png, std::string& copy) {
  std::string list;
  const TExceptSettings& settings = ExceptSettings;
  const std::string report_file =
      ReportPathIn(DirectoryOf(ModuleFileName(CoreModule())), BugReportFileName());
  if (settings.AttachBugReportFile && FileExists(report_file)) {
    std::string attached = report_file;
    if (settings.DeleteFileAfterMail) {
      const std::string name = report_file.substr(report_file.find_last_of('\\') + 1);
      const std::string temporary = ReportPathIn(TempDirectory(), name);
      // A report file that lies in the temporary directory already is the
      // user's file, never a copy to delete.
      if (CompareNoCase(temporary, report_file) != 0 &&
          CopyFileA(report_file.c_str(), temporary.c_str(), FALSE)) {
        attached = copy = temporary;
      }
    }
    list = attached;
  }
  if (!screenshot_png.empty()) {
    const std::string shot = ReportPathIn(TempDirectory(), kScreenshotFileName);
    std::ofstream file(shot, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(screenshot_png.data()),
               static_cast<std::streamsize>(screenshot_png.size()));
    if (file.flush()) list += (list.empty() ? "" : "|") + shot;
  }
  if (settings.ExtraAttachments && *settings.ExtraAttachments) {
    list += (list.empty() ? "" : "|") + std::string(settings.ExtraAttachments);
  }
  return list;
}

// The delivery methods in order; `by_shell` tells that the mail program
// took the mail (which reads no attachments, so the copy must stay).
bool Deliver(const MailRequest& mail, void* owner_window, bool silent, bool& by_shell) {
  const TExceptSettings& settings = ExceptSettings;
  const bool smtp_wanted = !mail.recipients.empty() &&
                           (settings.SendDirectSmtp ||
                            (settings.SendViaServer && !settings.SmtpServer.Empty()));
  const bool online = smtp_wanted && HasInternetConnection();
  if (online && settings.SendDirectSmtp && SmtpSendMail(mail)) return true;
  if (online && settings.SendViaServer && !settings.SmtpServer.Empty()) {
    MailRequest via_server = mail;
    via_server.server = settings.SmtpServer.View();
    via_server.port = static_cast<uint16_t>(settings.SmtpPort);
    via_server.user = settings.SmtpUser.View();
    via_server.password = DecryptSmtpPassword(settings.SmtpPassword.View(),
                                              settings.SmtpUser.View(),
                                              settings.SmtpServer.View());
    if (SmtpSendMail(via_server)) return true;
  }
  if (settings.SendViaMapi &&
      MapiSendReport(mail.recipients, mail.subject, mail.body, silent, owner_window,
                     mail.attachments) == kMapiSent) {
    return true;
  }
  if (settings.SendViaShell && !silent) {
    if (owner_window) {
      SetWindowPos(static_cast<HWND>(owner_window), HWND_NOTOPMOST, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    by_shell = ShellSendReport(mail.recipients, mail.subject, mail.body);
    return by_shell;
  }
  return false;
}

void TellUser(bool sent, void* owner_window) {
  const TExceptSettings& settings = ExceptSettings;
  std::string text(sent ? settings.MailSentText.View() : settings.MailFailedText.View());
  ReplaceAll(text, "%LF%", "\r\n", true, false);
  const std::string caption(settings.ButtonCaptions[0].View());
  MessageBoxA(static_cast<HWND>(owner_window), text.c_str(), caption.c_str(),
              sent ? MB_ICONINFORMATION : MB_ICONERROR);
}

}  // namespace

bool MailReport(const std::string& report, std::span<const uint8_t> screenshot_png,
                void* owner_window, bool silent) {
  const TExceptSettings& settings = ExceptSettings;
  MailRequest mail;
  mail.recipients = settings.MailAddress.View();
  mail.subject = MailSubjectFor(settings.MailSubject.View(),
                                AppNameFor(AppNameUse::kMailSubject), report);
  mail.sender = MailSenderFor(settings.MailFrom, mail.recipients,
                              AppNameFor(AppNameUse::kMailSender));
  mail.body = report;
  std::string copy;
  mail.attachments = Attachments(screenshot_png, copy);
  bool by_shell = false;
  const bool sent = Deliver(mail, owner_window, silent, by_shell);
  if (!silent) TellUser(sent, owner_window);
  if (sent && !copy.empty() && !by_shell) {
    SetFileAttributesA(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(copy.c_str());
  }
  return sent;
}

}  // namespace qor
