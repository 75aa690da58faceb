#include "crash/delivery/dns_message.h"

namespace qor {
namespace {

constexpr size_t kHeaderSize = 12;
constexpr size_t kMaxLabel = 63;
constexpr size_t kMaxEncodedName = 255;
constexpr uint16_t kRecursionDesired = 0x0100;
constexpr uint16_t kClassInternet = 1;
constexpr uint8_t kResponseBit = 0x80;
constexpr uint8_t kPointerBits = 0xc0;

uint16_t Load16(std::span<const uint8_t> message, size_t at) {
  return static_cast<uint16_t>(message[at] << 8 | message[at + 1]);
}

void Append16(std::vector<uint8_t>& message, uint16_t value) {
  message.push_back(static_cast<uint8_t>(value >> 8));
  message.push_back(static_cast<uint8_t>(value));
}

uint8_t LowerAscii(uint8_t c) { return c >= 'A' && c <= 'Z' ? static_cast<uint8_t>(c + 32) : c; }

// The reply repeats the question; servers may change the case of letters.
bool SameQuestion(std::span<const uint8_t> reply, std::span<const uint8_t> query) {
  if (reply.size() < query.size()) return false;
  for (size_t i = kHeaderSize; i < query.size(); ++i) {
    if (LowerAscii(reply[i]) != LowerAscii(query[i])) return false;
  }
  return true;
}

}  // namespace

std::vector<uint8_t> BuildDnsQuery(std::string_view name, uint16_t type, uint16_t id) {
  if (!name.empty() && name.back() == '.') name.remove_suffix(1);
  if (name.empty()) return {};
  std::vector<uint8_t> query;
  Append16(query, id);
  Append16(query, kRecursionDesired);
  Append16(query, 1);
  for (int i = 0; i < 3; ++i) Append16(query, 0);
  size_t start = 0;
  while (true) {
    size_t end = name.find('.', start);
    if (end == std::string_view::npos) end = name.size();
    const size_t length = end - start;
    if (length == 0 || length > kMaxLabel) return {};
    query.push_back(static_cast<uint8_t>(length));
    query.insert(query.end(), name.begin() + start, name.begin() + end);
    if (end == name.size()) break;
    start = end + 1;
  }
  query.push_back(0);
  if (query.size() - kHeaderSize > kMaxEncodedName) return {};
  Append16(query, type);
  Append16(query, kClassInternet);
  return query;
}

bool ReadDnsName(std::span<const uint8_t> message, size_t& position, size_t limit,
                 std::string& name) {
  name.clear();
  size_t at = position;
  size_t bound = limit < message.size() ? limit : message.size();
  // Pointers must lead before the labels read since the last jump; the
  // segments get earlier with every jump, so reading always ends.
  size_t segment_start = position;
  size_t behind = 0;  // where the name ends in the message, once known
  size_t encoded = 1;
  while (true) {
    if (at >= bound) return false;
    const uint8_t length = message[at];
    if ((length & kPointerBits) == kPointerBits) {
      if (at + 1 >= bound) return false;
      const size_t target = static_cast<size_t>(length & ~kPointerBits) << 8 | message[at + 1];
      if (target >= segment_start) return false;
      if (behind == 0) behind = at + 2;
      segment_start = target;
      bound = message.size();
      at = target;
      continue;
    }
    // The two other label kinds are not in use; nothing here reads them.
    if ((length & kPointerBits) != 0) return false;
    if (length == 0) {
      if (behind == 0) behind = at + 1;
      break;
    }
    encoded += length + 1u;
    if (encoded > kMaxEncodedName || at + 1 + length > bound) return false;
    if (!name.empty()) name.push_back('.');
    name.append(reinterpret_cast<const char*>(&message[at + 1]), length);
    at += 1 + length;
  }
  position = behind;
  return true;
}

bool ReadRecordNames(std::span<const uint8_t> message, size_t& position, size_t count,
                     uint16_t type, std::vector<std::string>& names) {
  for (size_t i = 0; i < count; ++i) {
    std::string owner;
    if (!ReadDnsName(message, position, message.size(), owner)) return false;
    // TYPE, CLASS, TTL and RDLENGTH, then the record's data.
    if (message.size() - position < 10) return false;
    const uint16_t record_type = Load16(message, position);
    const size_t data = position + 10;
    const size_t next = data + Load16(message, position + 8);
    if (next > message.size()) return false;
    if (record_type == type) {
      // An MX record's data starts with the 16-bit preference.
      size_t at = data + (type == kDnsTypeMx ? 2 : 0);
      std::string name;
      if (!ReadDnsName(message, at, next, name)) return false;
      names.push_back(std::move(name));
    }
    position = next;
  }
  return true;
}

DnsReplyStatus ReadDnsReply(std::span<const uint8_t> reply, std::span<const uint8_t> query,
                            DnsReplyNames& names) {
  if (reply.size() < kHeaderSize || query.size() < kHeaderSize + 5) {
    return DnsReplyStatus::kForeign;
  }
  if (Load16(reply, 0) != Load16(query, 0) || (reply[2] & kResponseBit) == 0) {
    return DnsReplyStatus::kForeign;
  }
  const uint16_t questions = Load16(reply, 4);
  const bool error = (reply[3] & 0x0f) != 0;
  // Error replies may leave the question out; all others must repeat it.
  if (!(error && questions == 0) && (questions != 1 || !SameQuestion(reply, query))) {
    return DnsReplyStatus::kForeign;
  }
  if (error) return DnsReplyStatus::kNoNames;
  const uint16_t type = Load16(query, query.size() - 4);
  DnsReplyNames found;
  size_t position = query.size();
  if (!ReadRecordNames(reply, position, Load16(reply, 6), type, found.answers)) {
    return DnsReplyStatus::kNoNames;
  }
  if (type == kDnsTypeNs &&
      !ReadRecordNames(reply, position, Load16(reply, 8), kDnsTypeNs, found.authorities)) {
    return DnsReplyStatus::kNoNames;
  }
  names = std::move(found);
  return DnsReplyStatus::kAnswered;
}

}  // namespace qor
