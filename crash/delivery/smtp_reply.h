// Reading one SMTP reply from the portions a socket delivers: lines ended by
// CR LF (a bare line feed is taken as well), continuation lines marked by a
// "-" behind the code, and the "AUTH" capability line of an EHLO reply.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qor {

class SmtpReplyReader {
 public:
  enum class Status { kNeedMore, kMatched, kMismatched };

  // A reply is at most this long; a server that sends more is not trusted.
  static constexpr size_t kMaxReplyBytes = 64 * 1024;

  // `auth_login`, when given, is set once a line announces AUTH with LOGIN
  // among its mechanisms ("AUTH LOGIN", "AUTH=LOGIN", "AUTH PLAIN LOGIN").
  SmtpReplyReader(std::string_view expected_code, bool* auth_login);

  // Takes the next portion. kMatched once the last line of a reply whose
  // first line begins with the expected code has arrived; kMismatched as
  // soon as the first line begins otherwise or the reply grows too long;
  // kNeedMore while the reply is incomplete. Portions after a final status
  // are ignored.
  Status Feed(std::string_view portion);

 private:
  // Handles the complete lines at the front of the buffer.
  Status TakeLines();
  void NoteAuthLine(std::string line);

  std::string expected_code_;
  bool* auth_login_;
  std::string buffer_;
  size_t received_ = 0;
  bool code_seen_ = false;
  Status status_ = Status::kNeedMore;
};

}  // namespace qor
