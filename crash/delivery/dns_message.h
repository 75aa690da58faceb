// DNS messages over UDP as the mail-exchanger lookup needs them: building an
// MX or NS query, and reading the names out of a reply. Every read stays
// inside the received bytes; a reply that breaks the format gives no names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qor {

inline constexpr uint16_t kDnsTypeNs = 2;
inline constexpr uint16_t kDnsTypeMx = 15;
inline constexpr size_t kDnsMessageSize = 512;

// The query (RD set, one question, class IN) for `name`, or nothing when
// the name cannot be asked: empty, an empty label, a label over 63 bytes,
// or more than 255 bytes in all. A trailing "." is allowed.
std::vector<uint8_t> BuildDnsQuery(std::string_view name, uint16_t type, uint16_t id);

// Reads the name at `position` into `name` (labels joined by ".") and moves
// `position` behind it. The name's own bytes must lie before `limit`;
// compression pointers must point before the labels that led to them, so
// that no name is read twice. False for anything else.
bool ReadDnsName(std::span<const uint8_t> message, size_t& position, size_t limit,
                 std::string& name);

// Reads `count` resource records from `position` on, appending the name
// each record of type `type` carries (the exchange of an MX record, the
// name server of an NS record); records of other types are skipped.
bool ReadRecordNames(std::span<const uint8_t> message, size_t& position, size_t count,
                     uint16_t type, std::vector<std::string>& names);

struct DnsReplyNames {
  std::vector<std::string> answers;
  std::vector<std::string> authorities;  // only for NS queries
};

enum class DnsReplyStatus {
  kForeign,   // not a reply to this query: wrong id, not a response, other question
  kNoNames,   // a reply, but an error code or a broken format
  kAnswered,  // a reply with code 0; `names` holds what it carries
};

DnsReplyStatus ReadDnsReply(std::span<const uint8_t> reply, std::span<const uint8_t> query,
                            DnsReplyNames& names);

}  // namespace qor
