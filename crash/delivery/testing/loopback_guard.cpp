#include "crash/delivery/testing/loopback_guard.h"

#include <utility>

#include "crash/delivery/network_settings.h"

namespace qor::testing {
namespace {

std::vector<Ipv4Address>& Seen() {
  static std::vector<Ipv4Address> seen;
  return seen;
}

bool RecordAndAllowLoopback(Ipv4Address address) {
  Seen().push_back(address);
  return IsLoopback(address);
}

}  // namespace

LoopbackGuard::LoopbackGuard(std::vector<std::string> name_servers,
                             std::vector<std::string> roots, uint16_t dns_port) {
  Seen().clear();
  NetworkSettings& settings = DeliveryNetworkSettings();
  settings.name_servers = std::move(name_servers);
  settings.root_servers = std::move(roots);
  settings.dns_port = dns_port;
  settings.address_allowed = RecordAndAllowLoopback;
}

LoopbackGuard::~LoopbackGuard() { DeliveryNetworkSettings() = NetworkSettings(); }

const std::vector<Ipv4Address>& LoopbackGuard::Addresses() { return Seen(); }

}  // namespace qor::testing
