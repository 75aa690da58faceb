#include "crash/delivery/mx_lookup.h"

#include <algorithm>
#include <random>

#include "crash/delivery/dns_servers.h"
#include "crash/delivery/mail_address.h"
#include "crash/delivery/net_socket.h"
#include "crash/delivery/network_settings.h"

namespace qor {
namespace {

// Datagrams from elsewhere are dropped unread; this many end the wait.
constexpr int kMaxDatagrams = 64;
// Referrals followed after the first two steps of the walk from the roots.
constexpr int kMaxReferrals = 10;

struct AskedServer {
  Ipv4Address address;
  uint16_t port;
  bool operator==(const AskedServer&) const = default;
};

uint16_t RandomQueryId() {
  // A reply must name the id of its query; a guessable id would let any
  // sender slip in a mail exchanger of its choosing.
  std::random_device random;
  return static_cast<uint16_t>(random());
}

// Sends the query to every usable server; the servers that were sent to.
std::vector<AskedServer> SendToAll(NetSocket& socket, const std::vector<uint8_t>& query,
                                   const std::vector<std::string>& servers) {
  const uint16_t port = DeliveryNetworkSettings().dns_port;
  std::vector<AskedServer> asked;
  for (const std::string& server : servers) {
    if (server.empty()) continue;
    const Ipv4Address address = ResolveHostAddress(server);
    if (address == kNoAddress || !ServerAddressAllowed(address)) continue;
    if (socket.SendTo(query.data(), query.size(), address, port) >= 0) {
      asked.push_back({address, port});
    }
  }
  return asked;
}

bool HasUsableEntry(const std::vector<std::string>& servers) {
  return std::any_of(servers.begin(), servers.end(), [](const auto& s) { return !s.empty(); });
}

std::string FirstAnswer(std::string_view name, const std::vector<std::string>& servers) {
  const DnsReplyNames names = QueryNameServers(name, servers, kDnsTypeMx);
  return names.answers.empty() ? std::string() : names.answers.front();
}

// The domain's exchanger, or else the base domain's.
std::string AskForExchanger(const std::string& domain, const std::string& base,
                            const std::vector<std::string>& servers) {
  std::string exchanger = FirstAnswer(domain, servers);
  if (exchanger.empty() && base != domain) exchanger = FirstAnswer(base, servers);
  return exchanger;
}

// Follows the delegation of the base domain down from the root servers,
// asking for NS records only, and asks the servers found for the exchanger.
// Each step's reply replaces the lists it fills.
std::string WalkFromRoots(const std::string& domain, const std::string& base) {
  DnsReplyNames roots = QueryNameServers(base, DeliveryNetworkSettings().root_servers, kDnsTypeNs);
  std::vector<std::string> answers = std::move(roots.answers);
  std::vector<std::string> referred = std::move(roots.authorities);
  if (referred.empty()) return {};
  DnsReplyNames step = QueryNameServers(base, referred, kDnsTypeNs);
  answers = std::move(step.answers);
  std::vector<std::string> next = std::move(step.authorities);
  for (int i = 0; i < kMaxReferrals && answers.empty() && !next.empty(); ++i) {
    step = QueryNameServers(base, next, kDnsTypeNs);
    answers = std::move(step.answers);
    referred = std::move(step.authorities);
    next = referred;
  }
  if (answers.empty()) answers = referred;
  return AskForExchanger(domain, base, answers);
}

}  // namespace

DnsReplyNames QueryNameServers(std::string_view name, const std::vector<std::string>& servers,
                               uint16_t type) {
  DnsReplyNames names;
  NetSocket socket(NetSocket::Kind::kDatagram);
  if (!socket.valid() || !socket.BindAny()) return names;
  const std::vector<uint8_t> query = BuildDnsQuery(name, type, RandomQueryId());
  if (query.empty()) return names;
  const std::vector<AskedServer> asked = SendToAll(socket, query, servers);
  size_t awaited = asked.size();
  uint8_t reply[kDnsMessageSize];
  for (int datagrams = 0; awaited > 0 && datagrams < kMaxDatagrams; ++datagrams) {
    if (socket.WaitReadable(kDnsReplySeconds) != WaitResult::kReady) break;
    AskedServer from{};
    const int size = socket.ReceiveFrom(reply, sizeof reply, from.address, from.port);
    if (size < 0) break;
    if (std::find(asked.begin(), asked.end(), from) == asked.end()) continue;
    const DnsReplyStatus status =
        ReadDnsReply(std::span<const uint8_t>(reply, static_cast<size_t>(size)), query, names);
    if (status == DnsReplyStatus::kForeign) continue;
    --awaited;
    if (!names.answers.empty() || !names.authorities.empty()) break;
  }
  return names;
}

std::string FindMailExchanger(std::string_view address) {
  const std::string domain = MailDomain(address);
  const std::string base = BaseDomain(domain);
  NetworkSession session;
  if (!session.started()) return {};
  const NetworkSettings& settings = DeliveryNetworkSettings();
  const std::vector<std::string> servers =
      settings.name_servers ? *settings.name_servers : ReadDnsServerList();
  if (HasUsableEntry(servers)) return AskForExchanger(domain, base, servers);
  return WalkFromRoots(domain, base);
}

}  // namespace qor
