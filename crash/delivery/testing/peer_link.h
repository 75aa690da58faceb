// The system side of a test server: starting the Python program, and the
// TCP connection on which it reports back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qor::testing {

// Listens on 127.0.0.1 at a free port from construction on; after Accept,
// sends and receives on the one connection that came in.
class PeerLink {
 public:
  PeerLink();
  PeerLink(const PeerLink&) = delete;
  PeerLink& operator=(const PeerLink&) = delete;
  ~PeerLink();

  uint16_t port() const { return port_; }
  bool Accept(int seconds);
  bool Send(const std::string& text);
  // Bytes received (0 when the peer closed), or -1 on failure or time-out.
  int Receive(char* buffer, size_t size, int seconds);

 private:
  uintptr_t listener_;
  uintptr_t connection_;
  uint16_t port_ = 0;
};

// /usr/bin/python3 running `arguments`; the program ends by itself when its
// link closes. The destructor collects it where the system lets us.
class PeerChild {
 public:
  explicit PeerChild(const std::vector<std::string>& arguments);
  PeerChild(const PeerChild&) = delete;
  PeerChild& operator=(const PeerChild&) = delete;
  ~PeerChild();

  bool started() const { return started_; }

 private:
  bool started_ = false;
  intptr_t process_ = 0;
};

}  // namespace qor::testing
