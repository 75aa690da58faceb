// Finding the mail exchanger of a recipient's domain with a small DNS
// client of its own: the machine's DNS servers are asked all at once, and a
// machine without DNS servers walks the delegation chain from the roots.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "crash/delivery/dns_message.h"

namespace qor {

// Host name of the mail exchanger for the domain of `address` (which may
// carry a display name and angle brackets); empty if none was found.
std::string FindMailExchanger(std::string_view address);

// Sends one query for `name` to every usable server and keeps the first
// reply that carries names; waits at most kDnsReplySeconds for each reply.
DnsReplyNames QueryNameServers(std::string_view name, const std::vector<std::string>& servers,
                               uint16_t type);
inline constexpr int kDnsReplySeconds = 5;

}  // namespace qor
