#include <algorithm>

#include "crash/delivery/smtp_delivery.h"
#include "crash/delivery/smtp_reply.h"

namespace qor {
namespace {

constexpr size_t kSendPiece = 1024;
constexpr size_t kReceivePiece = 1024;

}  // namespace

bool SmtpSendText(NetSocket& socket, std::string_view text) {
  size_t sent = 0;
  while (sent < text.size()) {
    // A blocking send may still take fewer bytes than offered; the rest
    // follows in the next call.
    const size_t piece = std::min(kSendPiece, text.size() - sent);
    const int count = socket.Send(text.data() + sent, piece);
    if (count <= 0) return false;
    sent += static_cast<size_t>(count);
  }
  return true;
}

bool SmtpReadReply(NetSocket& socket, std::string_view code, bool* auth_login) {
  SmtpReplyReader reader(code, auth_login);
  char portion[kReceivePiece];
  while (true) {
    if (socket.WaitReadable(kSmtpReplySeconds) != WaitResult::kReady) return false;
    const int count = socket.Receive(portion, sizeof portion);
    // A closed connection stays readable; it can bring no more of the reply.
    if (count <= 0) return false;
    switch (reader.Feed(std::string_view(portion, static_cast<size_t>(count)))) {
      case SmtpReplyReader::Status::kMatched:
        return true;
      case SmtpReplyReader::Status::kMismatched:
        return false;
      case SmtpReplyReader::Status::kNeedMore:
        break;
    }
  }
}

bool SmtpCommand(NetSocket& socket, std::string_view command, std::string_view code,
                 bool* auth_login) {
  if (!command.empty() && !SmtpSendText(socket, std::string(command) + "\r\n")) return false;
  return SmtpReadReply(socket, code, auth_login);
}

}  // namespace qor
