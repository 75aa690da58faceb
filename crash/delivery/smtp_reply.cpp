#include "crash/delivery/smtp_reply.h"

#include <algorithm>

#include "crash/attach/case_compare.h"
#include "crash/attach/text_search.h"

namespace qor {

SmtpReplyReader::SmtpReplyReader(std::string_view expected_code, bool* auth_login)
    : expected_code_(expected_code), auth_login_(auth_login) {}

SmtpReplyReader::Status SmtpReplyReader::Feed(std::string_view portion) {
  if (status_ != Status::kNeedMore) return status_;
  received_ += portion.size();
  if (received_ > kMaxReplyBytes) return status_ = Status::kMismatched;
  buffer_.append(portion);
  return status_ = TakeLines();
}

SmtpReplyReader::Status SmtpReplyReader::TakeLines() {
  while (true) {
    if (!code_seen_) {
      // Decided as soon as the code's bytes are there, or a line ended
      // before them.
      const size_t have = std::min(buffer_.size(), expected_code_.size());
      if (buffer_.compare(0, have, expected_code_, 0, have) != 0) return Status::kMismatched;
      if (have < expected_code_.size()) return Status::kNeedMore;
      code_seen_ = true;
    }
    const size_t line_feed = buffer_.find('\n');
    if (line_feed == std::string::npos) return Status::kNeedMore;
    std::string line = buffer_.substr(0, line_feed);
    buffer_.erase(0, line_feed + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const bool continued = line.size() >= 4 && line[3] == '-';
    if (auth_login_ != nullptr && !*auth_login_) NoteAuthLine(std::move(line));
    if (!continued) return Status::kMatched;
  }
}

void SmtpReplyReader::NoteAuthLine(std::string line) {
  // "AUTH=LOGIN" is the older spelling of "AUTH LOGIN".
  std::replace(line.begin(), line.end(), '=', ' ');
  if (line.size() <= 4) return;
  const std::string_view text = std::string_view(line).substr(4);
  if (!StartsWithNoCase(text, "AUTH ")) return;
  const std::string mechanisms = std::string(text.substr(4)) + " ";
  if (FindSubText(" LOGIN ", mechanisms, 1, mechanisms.size(), true) != 0) *auth_login_ = true;
}

}  // namespace qor
