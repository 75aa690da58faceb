// DNS replies: names at any position and limit, record lists, and whole
// replies that repeat the question so that their records are read.
// Byte 0 picks the query type and record count, byte 1 the position, byte 2
// how far the limit lies before the end; the rest is the message.
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "crash/delivery/dns_message.h"

namespace {

void CheckName(std::span<const uint8_t> message, size_t position, size_t limit) {
  std::string name;
  size_t at = position;
  if (!qor::ReadDnsName(message, at, limit, name)) {
    if (at != position) std::abort();
    return;
  }
  // A name ends behind where it started and within the limit; its text
  // fits the 255 bytes of a name.
  if (at <= position || at > limit || name.size() > 254) std::abort();
}

void CheckRecords(std::span<const uint8_t> message, size_t position, size_t count, uint16_t type) {
  std::vector<std::string> names;
  size_t at = position;
  if (qor::ReadRecordNames(message, at, count, type, names)) {
    if (at > message.size() || names.size() > count) std::abort();
  }
}

void CheckReply(std::span<const uint8_t> rest, uint16_t type, uint8_t flags) {
  const std::vector<uint8_t> query = qor::BuildDnsQuery("mail.example.test", type, 0x4242);
  std::vector<uint8_t> reply = query;
  reply[2] = 0x81;
  reply[3] = flags;
  if (rest.size() >= 4) {
    reply[6] = rest[0], reply[7] = rest[1], reply[8] = rest[2], reply[9] = rest[3];
    rest = rest.subspan(4);
  }
  reply.insert(reply.end(), rest.begin(), rest.end());
  if (reply.size() > qor::kDnsMessageSize) reply.resize(qor::kDnsMessageSize);
  qor::DnsReplyNames names;
  const qor::DnsReplyStatus status = qor::ReadDnsReply(reply, query, names);
  if (status == qor::DnsReplyStatus::kForeign) std::abort();
  if (status != qor::DnsReplyStatus::kAnswered && !names.answers.empty()) std::abort();
  if (type == qor::kDnsTypeMx && !names.authorities.empty()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint16_t type = (data[0] & 1) ? qor::kDnsTypeMx : qor::kDnsTypeNs;
  const size_t count = data[0] >> 4;
  const std::span<const uint8_t> message(data + 3, size - 3);
  const size_t position = message.empty() ? 0 : data[1] % message.size();
  const size_t limit = message.size() - std::min<size_t>(data[2], message.size());
  CheckName(message, position, limit);
  CheckRecords(message, position, count, type);
  CheckReply(message, type, static_cast<uint8_t>(0x80 | (data[0] & 0x0e)));
  return 0;
}
