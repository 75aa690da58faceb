// Points the delivery's network settings at the test's own servers and
// records every server address the delivery is about to use, refusing any
// outside 127.0.0.0/8, so that a test can never reach another machine.
#pragma once

#include <string>
#include <vector>

#include "crash/delivery/net_socket.h"

namespace qor::testing {

class LoopbackGuard {
 public:
  // `name_servers` replace the machine's DNS servers (an empty list starts
  // the walk from `roots`); the DNS port is `dns_port`.
  LoopbackGuard(std::vector<std::string> name_servers, std::vector<std::string> roots,
                uint16_t dns_port);
  LoopbackGuard(const LoopbackGuard&) = delete;
  LoopbackGuard& operator=(const LoopbackGuard&) = delete;
  // Puts the shipped settings back.
  ~LoopbackGuard();

  // Every address asked about since construction, refused or not.
  static const std::vector<Ipv4Address>& Addresses();
};

inline bool IsLoopback(Ipv4Address address) { return address >> 24 == 127; }

}  // namespace qor::testing
