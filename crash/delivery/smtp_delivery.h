// Sending one report as an e-mail by talking SMTP directly: to a configured
// server (optionally with AUTH LOGIN), or, with no server, to the mail
// exchanger of each recipient's domain. Failures give false; nothing is
// shown and no exception leaves these routines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "crash/delivery/net_socket.h"

namespace qor {

struct MailRequest {
  std::string sender;       // empty: the recipients are the sender
  std::string recipients;   // addresses separated by "," or ";"
  std::string subject;
  std::string body;         // lines ended by CR LF
  std::string attachments;  // full paths separated by "|"
  std::string server;       // empty: each recipient's mail exchanger
  std::string user;         // user and password both empty: no AUTH
  std::string password;
  uint16_t port = 25;
};

// The whole delivery: one conversation with the server for all recipients,
// or one per recipient with its mail exchanger (true if any succeeded).
bool SmtpSendMail(const MailRequest& request);

// One connection, one message.
bool SmtpConversation(const MailRequest& request);

// Sends `command` + CR LF unless it is empty, then reads the reply.
bool SmtpCommand(NetSocket& socket, std::string_view command, std::string_view code,
                 bool* auth_login = nullptr);

// Reads one reply, waiting at most kSmtpReplySeconds for each portion; true
// if it begins with `code`.
bool SmtpReadReply(NetSocket& socket, std::string_view code, bool* auth_login);
inline constexpr int kSmtpReplySeconds = 7;

// Sends all of `text`, in pieces of at most 1024 bytes.
bool SmtpSendText(NetSocket& socket, std::string_view text);

// One MIME part with the file's bytes in base64, 57 bytes (76 characters)
// per line. An empty file sends nothing and gives true; a file that cannot
// be opened, or that ends early, gives false.
bool SmtpSendAttachment(NetSocket& socket, const std::string& path);

}  // namespace qor
