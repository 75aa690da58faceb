#include <fstream>
#include <sstream>

#include "crash/delivery/dns_servers.h"

namespace qor {

std::vector<std::string> ReadDnsServerList() {
  // The resolver's configuration: one "nameserver ADDRESS" line per server.
  std::ifstream config("/etc/resolv.conf");
  std::vector<std::string> servers;
  std::string line;
  while (std::getline(config, line)) {
    std::istringstream words(line);
    std::string keyword;
    std::string address;
    if (words >> keyword >> address && keyword == "nameserver") servers.push_back(address);
  }
  return servers;
}

}  // namespace qor
