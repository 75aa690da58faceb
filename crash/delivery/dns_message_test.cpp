#include "crash/delivery/dns_message.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qor {
namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v >> 8));
  b.push_back(static_cast<uint8_t>(v));
}

void PutLabels(Bytes& b, std::initializer_list<std::string> labels) {
  for (const auto& l : labels) {
    b.push_back(static_cast<uint8_t>(l.size()));
    b.insert(b.end(), l.begin(), l.end());
  }
}

void PutPointer(Bytes& b, uint16_t to) { Put16(b, static_cast<uint16_t>(0xc000 | to)); }

// A record whose data is `data`; the owner is a pointer to the question.
void PutRecord(Bytes& b, uint16_t type, const Bytes& data) {
  PutPointer(b, 12);
  Put16(b, type);
  Put16(b, 1);
  Put16(b, 0);
  Put16(b, 300);
  Put16(b, static_cast<uint16_t>(data.size()));
  b.insert(b.end(), data.begin(), data.end());
}

// The reply to `query` with the given counts; records follow.
Bytes ReplyTo(const Bytes& query, uint16_t answers, uint16_t authorities, uint8_t rcode = 0) {
  Bytes reply = query;
  reply[2] = 0x81;
  reply[3] = static_cast<uint8_t>(0x80 | rcode);
  reply[6] = static_cast<uint8_t>(answers >> 8);
  reply[7] = static_cast<uint8_t>(answers);
  reply[8] = static_cast<uint8_t>(authorities >> 8);
  reply[9] = static_cast<uint8_t>(authorities);
  return reply;
}

Bytes MxData(uint16_t preference, const Bytes& name) {
  Bytes data;
  Put16(data, preference);
  data.insert(data.end(), name.begin(), name.end());
  return data;
}

TEST(DnsQuery, Layout) {
  const Bytes query = BuildDnsQuery("mx.example.org", kDnsTypeMx, 0xbeef);
  const Bytes expected = {0xbe, 0xef, 0x01, 0x00, 0, 1, 0, 0, 0, 0, 0, 0,
                          2, 'm', 'x', 7, 'e', 'x', 'a', 'm', 'p', 'l', 'e', 3, 'o', 'r', 'g', 0,
                          0, 15, 0, 1};
  EXPECT_EQ(query, expected);
  EXPECT_EQ(query.size(), 18u + 14u);
  EXPECT_EQ(BuildDnsQuery("mx.example.org.", kDnsTypeMx, 0xbeef), expected);
  EXPECT_EQ(BuildDnsQuery("org", kDnsTypeNs, 1)[18], kDnsTypeNs);
}

TEST(DnsQuery, NamesDnsCannotCarryAreRefused) {
  EXPECT_TRUE(BuildDnsQuery("", kDnsTypeMx, 1).empty());
  EXPECT_TRUE(BuildDnsQuery(".", kDnsTypeMx, 1).empty());
  EXPECT_TRUE(BuildDnsQuery("a..b", kDnsTypeMx, 1).empty());
  EXPECT_TRUE(BuildDnsQuery(".a", kDnsTypeMx, 1).empty());
  EXPECT_TRUE(BuildDnsQuery(std::string(64, 'a') + ".test", kDnsTypeMx, 1).empty());
  EXPECT_FALSE(BuildDnsQuery(std::string(63, 'a') + ".test", kDnsTypeMx, 1).empty());
  // 255 bytes in all: four labels of 63 make 4 * 64 + 1 = 257.
  const std::string label(63, 'b');
  EXPECT_TRUE(BuildDnsQuery(label + "." + label + "." + label + "." + label, kDnsTypeMx, 1).empty());
  const std::string fits = label + "." + label + "." + label + "." + std::string(61, 'c');
  EXPECT_FALSE(BuildDnsQuery(fits, kDnsTypeMx, 1).empty());
}

TEST(DnsName, PlainPointersAndNestedPointers) {
  Bytes m(12, 0);
  PutLabels(m, {"example", "test"});  // 12
  m.push_back(0);
  const uint16_t mx_at = static_cast<uint16_t>(m.size());
  PutLabels(m, {"mx"});
  PutPointer(m, 12);
  const size_t nested_at = m.size();
  PutLabels(m, {"a"});
  PutPointer(m, mx_at);
  m.push_back(0xee);  // whatever follows

  std::string name;
  size_t position = 12;
  ASSERT_TRUE(ReadDnsName(m, position, m.size(), name));
  EXPECT_EQ(name, "example.test");
  EXPECT_EQ(position, 26u);
  position = nested_at;
  ASSERT_TRUE(ReadDnsName(m, position, m.size(), name));
  EXPECT_EQ(name, "a.mx.example.test");
  EXPECT_EQ(position, nested_at + 4);
}

TEST(DnsName, LoopsForwardPointersAndOverrunsGiveNothing) {
  const struct {
    const char* what;
    Bytes message;
    size_t limit;
  } cases[] = {
      {"pointer to itself", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xc0, 12}, 14},
      {"pointer forwards", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xc0, 14, 1, 'a', 0}, 17},
      // "a" then a pointer back to the "a": points before the pointer, but
      // into the labels that led to it.
      {"loop through a label", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 'a', 0xc0, 12}, 16},
      {"label past the limit", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 'a', 'b', 'c', 0}, 15},
      {"label past the end", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9, 'a'}, 99},
      {"no terminating zero", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 'a'}, 14},
      {"half a pointer", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xc0}, 13},
      {"reserved label kind", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x41, 'a', 0}, 15},
  };
  for (const auto& c : cases) {
    std::string name = "stale";
    size_t position = 12;
    EXPECT_FALSE(ReadDnsName(c.message, position, c.limit, name)) << c.what;
    EXPECT_EQ(position, 12u) << c.what;
  }
}

TEST(DnsName, ChainOfJumpsLongerThanANameIsRefused) {
  // Each name is one label plus a pointer to the one before: the chain is
  // well-formed, but the whole name passes 255 bytes.
  Bytes m(12, 0);
  PutLabels(m, {std::string(60, 'x')});
  m.push_back(0);
  size_t previous = 12;
  for (int i = 0; i < 5; ++i) {
    const size_t here = m.size();
    PutLabels(m, {std::string(60, 'y')});
    PutPointer(m, static_cast<uint16_t>(previous));
    previous = here;
  }
  std::string name;
  size_t position = 12 + 62 + 63;  // three labels deep: fine
  EXPECT_TRUE(ReadDnsName(m, position, m.size(), name));
  position = previous;
  EXPECT_FALSE(ReadDnsName(m, position, m.size(), name));
}

TEST(DnsRecords, MxSkipsPreferenceAndOtherTypes) {
  const Bytes query = BuildDnsQuery("example.test", kDnsTypeMx, 7);
  Bytes reply = ReplyTo(query, 3, 0);
  Bytes cname;
  PutLabels(cname, {"alias"});
  PutPointer(cname, 12);
  PutRecord(reply, 5, cname);
  PutRecord(reply, kDnsTypeMx, MxData(20, [] {
              Bytes n;
              PutLabels(n, {"mx20"});
              PutPointer(n, 12);
              return n;
            }()));
  PutRecord(reply, kDnsTypeMx, MxData(5, [] {
              Bytes n;
              PutLabels(n, {"mx5", "example", "test"});
              n.push_back(0);
              return n;
            }()));
  DnsReplyNames names;
  ASSERT_EQ(ReadDnsReply(reply, query, names), DnsReplyStatus::kAnswered);
  // In the order of the reply, whatever the preference.
  EXPECT_EQ(names.answers, (std::vector<std::string>{"mx20.example.test", "mx5.example.test"}));
  EXPECT_TRUE(names.authorities.empty());
}

TEST(DnsRecords, NameMustStayInsideItsRecord) {
  const Bytes query = BuildDnsQuery("example.test", kDnsTypeMx, 7);
  Bytes reply = ReplyTo(query, 1, 0);
  Bytes data = MxData(1, {});
  PutLabels(data, {"mx"});
  data.push_back(0);
  PutRecord(reply, kDnsTypeMx, data);
  reply[reply.size() - data.size() - 1] -= 1;  // RDLENGTH one short
  DnsReplyNames names;
  EXPECT_EQ(ReadDnsReply(reply, query, names), DnsReplyStatus::kNoNames);
  reply[reply.size() - data.size() - 1] += 2;  // one past the end
  EXPECT_EQ(ReadDnsReply(reply, query, names), DnsReplyStatus::kNoNames);
  EXPECT_TRUE(names.answers.empty());
}

TEST(DnsReply, OnlyTheReplyToThisQueryCounts) {
  const Bytes query = BuildDnsQuery("example.test", kDnsTypeMx, 0x1234);
  DnsReplyNames names;
  Bytes reply = ReplyTo(query, 0, 0);
  EXPECT_EQ(ReadDnsReply(reply, query, names), DnsReplyStatus::kAnswered);
  Bytes other_id = reply;
  other_id[1] ^= 1;
  EXPECT_EQ(ReadDnsReply(other_id, query, names), DnsReplyStatus::kForeign);
  EXPECT_EQ(ReadDnsReply(query, query, names), DnsReplyStatus::kForeign);  // not a response
  Bytes other_question = reply;
  other_question[13] = 'f';
  EXPECT_EQ(ReadDnsReply(other_question, query, names), DnsReplyStatus::kForeign);
  Bytes upper_case = reply;
  upper_case[13] = 'E';
  EXPECT_EQ(ReadDnsReply(upper_case, query, names), DnsReplyStatus::kAnswered);
  Bytes short_reply(reply.begin(), reply.end() - 1);
  EXPECT_EQ(ReadDnsReply(short_reply, query, names), DnsReplyStatus::kForeign);
  EXPECT_EQ(ReadDnsReply(ReplyTo(query, 0, 0, 3), query, names), DnsReplyStatus::kNoNames);
  Bytes bare_error(reply.begin(), reply.begin() + 12);
  bare_error[3] = 0x82;
  bare_error[5] = 0;
  EXPECT_EQ(ReadDnsReply(bare_error, query, names), DnsReplyStatus::kNoNames);
}

TEST(DnsReply, NsQueryReadsAuthoritiesButNotTheirSoa) {
  const Bytes query = BuildDnsQuery("corp.test", kDnsTypeNs, 9);
  Bytes reply = ReplyTo(query, 0, 2);
  Bytes soa;
  PutLabels(soa, {"primary"});
  PutPointer(soa, 12);
  soa.insert(soa.end(), 22, 0);  // mailbox (root) and the five numbers
  PutRecord(reply, 6, soa);
  Bytes ns;
  PutLabels(ns, {"127", "0", "0", "7"});
  ns.push_back(0);
  PutRecord(reply, kDnsTypeNs, ns);
  DnsReplyNames names;
  ASSERT_EQ(ReadDnsReply(reply, query, names), DnsReplyStatus::kAnswered);
  EXPECT_TRUE(names.answers.empty());
  EXPECT_EQ(names.authorities, std::vector<std::string>{"127.0.0.7"});
}

}  // namespace
}  // namespace qor
