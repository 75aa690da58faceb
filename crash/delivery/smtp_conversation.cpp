#include "crash/attach/base64.h"
#include "crash/attach/list_text.h"
#include "crash/delivery/mail_address.h"
#include "crash/delivery/mail_message.h"
#include "crash/delivery/mail_platform.h"
#include "crash/delivery/mx_lookup.h"
#include "crash/delivery/network_settings.h"
#include "crash/delivery/smtp_delivery.h"

namespace qor {
namespace {

// Greeting and EHLO (or HELO). `auth_login` tells whether the server
// offers AUTH LOGIN. False ends the conversation without QUIT.
bool OpenSession(NetSocket& socket, bool& auth_login) {
  if (!SmtpReadReply(socket, "220", nullptr)) return false;
  const std::string computer = ComputerName();
  if (SmtpCommand(socket, "EHLO " + computer, "250", &auth_login)) return true;
  return SmtpCommand(socket, "HELO " + computer, "250");
}

bool Authenticate(NetSocket& socket, const MailRequest& request, bool auth_login) {
  if (request.user.empty() && request.password.empty()) return true;
  // Credentials go only to a server that announced LOGIN.
  return auth_login && SmtpCommand(socket, "AUTH LOGIN", "334") &&
         SmtpCommand(socket, Base64EncodeText(request.user), "334") &&
         SmtpCommand(socket, Base64EncodeText(request.password), "235");
}

// MAIL FROM and one RCPT TO per recipient; true if any was accepted.
bool SendEnvelope(NetSocket& socket, const std::string& sender, const std::string& recipients,
                  const std::string& app_name) {
  if (!SmtpCommand(socket, "MAIL FROM:" + EnvelopeAddress(sender, app_name), "250")) return false;
  bool accepted = false;
  for (size_t i = 1; i <= ListCount(recipients, ','); ++i) {
    const std::string to = EnvelopeAddress(ListItem(recipients, i, ','), app_name);
    if (SmtpCommand(socket, "RCPT TO:" + to, "250")) accepted = true;
  }
  return accepted;
}

// Everything after the header block; true when all of it went out.
bool SendBody(NetSocket& socket, const MailRequest& request) {
  std::string files = request.attachments;
  TidyList(files, '|');
  const std::string body = DotStuffed(request.body);
  if (files.empty()) return SmtpSendText(socket, "\r\n" + body);
  if (!SmtpSendText(socket, MimeTextPartHead() + body + "\r\n")) return false;
  for (size_t i = 1; i <= ListCount(files, '|'); ++i) {
    const std::string path = ListItem(files, i, '|');
    // A file that is gone is left out; one that cannot be read fails the mail.
    if (FileExists(path) && !SmtpSendAttachment(socket, path)) return false;
  }
  return SmtpSendText(socket, MimeClosingLine());
}

// DATA, the message and its end; the result as the server judged it.
bool SendMessage(NetSocket& socket, const MailRequest& request, const MailHeader& header) {
  if (!SmtpCommand(socket, "DATA", "354")) return false;
  const bool sent = SmtpSendText(socket, MailHeaderBlock(header)) && SendBody(socket, request);
  // The end of data is sent whatever happened, so the server is not left
  // waiting inside the message.
  const bool ended = SmtpCommand(socket, "\r\n.", "250");
  return sent && ended;
}

// Everything from authentication to the end of the message.
bool Transact(NetSocket& socket, const MailRequest& request, bool auth_login) {
  const std::string app_name = ProgramBaseName(ProgramPath());
  const std::string recipients = NormaliseRecipients(request.recipients);
  // Without a sender the mail comes from its (first) recipient; the whole
  // list would be no address at all.
  const std::string sender = request.sender.empty() ? ListItem(recipients, 1, ',') : request.sender;
  if (!Authenticate(socket, request, auth_login)) return false;
  if (!SendEnvelope(socket, sender, recipients, app_name)) return false;
  if (request.subject.empty() && request.body.empty()) return SmtpCommand(socket, "RSET", "250");
  MailHeader header{recipients, sender, request.subject, app_name, CurrentMailTime()};
  return SendMessage(socket, request, header);
}

}  // namespace

bool SmtpConversation(const MailRequest& request) {
  NetSocket socket(NetSocket::Kind::kStream);
  if (!socket.valid()) return false;
  const std::string server =
      request.server.empty() ? FindMailExchanger(request.recipients) : request.server;
  if (server.empty()) return false;
  const Ipv4Address address = ResolveHostAddress(server);
  if (address == kNoAddress || !ServerAddressAllowed(address)) return false;
  if (!socket.Connect(address, request.port)) return false;
  bool auth_login = false;
  if (!OpenSession(socket, auth_login)) return false;
  const bool result = Transact(socket, request, auth_login);
  // A message the server took still fails when it does not say goodbye.
  return SmtpCommand(socket, "QUIT", "221") && result;
}

bool SmtpSendMail(const MailRequest& request) {
  const std::string recipients = NormaliseRecipients(request.recipients);
  if (recipients.empty()) return false;
  NetworkSession session;
  if (!session.started()) return false;
  if (!request.server.empty()) return SmtpConversation(request);
  bool any = false;
  for (size_t i = 1; i <= ListCount(recipients, ','); ++i) {
    MailRequest single = request;
    single.recipients = ListItem(recipients, i, ',');
    if (SmtpConversation(single)) any = true;
  }
  return any;
}

}  // namespace qor
