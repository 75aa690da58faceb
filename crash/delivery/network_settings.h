// Where the mail delivery may send packets. The defaults are those of a
// shipped program: the machine's own DNS servers, two of the Internet's root
// name servers, port 53, every address allowed. A caller (the tests) can
// replace the name servers and roots so that no packet leaves the machine,
// and install a guard that sees every server address before it is used.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "crash/delivery/net_socket.h"

namespace qor {

struct NetworkSettings {
  // When set, asked instead of the machine's DNS servers; an empty list
  // makes the lookup start at the root servers.
  std::optional<std::vector<std::string>> name_servers;
  // Host names or dotted addresses of the two servers the delegation walk
  // starts from.
  std::vector<std::string> root_servers = {"a.root-servers.net", "b.root-servers.net"};
  uint16_t dns_port = 53;
  // Asked before every connect and every datagram; false skips that server.
  bool (*address_allowed)(Ipv4Address address) = nullptr;
};

// The settings of the process; change them before a delivery starts, not
// while one runs.
NetworkSettings& DeliveryNetworkSettings();

// True when no guard is installed or the guard allows the address.
bool ServerAddressAllowed(Ipv4Address address);

}  // namespace qor
