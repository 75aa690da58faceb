// IPv4 sockets as the mail delivery uses them: blocking TCP for SMTP, UDP
// for DNS, select() for time-outs. Windows Sockets 1.1 on Windows, BSD
// sockets on the host, behind one interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qor {

// IPv4 addresses in host byte order: 127.0.0.1 is 0x7f000001.
using Ipv4Address = uint32_t;
inline constexpr Ipv4Address kNoAddress = 0xffffffff;

// Starts the socket library (version 1.1) for the lifetime of the object and
// cleans it up afterwards. Always started on the host.
class NetworkSession {
 public:
  NetworkSession();
  NetworkSession(const NetworkSession&) = delete;
  NetworkSession& operator=(const NetworkSession&) = delete;
  ~NetworkSession();

  bool started() const { return started_; }

 private:
  bool started_;
};

enum class WaitResult { kReady, kTimeout, kError };

// One socket, closed by the destructor.
class NetSocket {
 public:
  enum class Kind { kStream, kDatagram };

  explicit NetSocket(Kind kind);
  NetSocket(const NetSocket&) = delete;
  NetSocket& operator=(const NetSocket&) = delete;
  ~NetSocket();

  // False when the system gave no socket.
  bool valid() const;

  bool Connect(Ipv4Address address, uint16_t port);
  // Binds to 0.0.0.0, port 0.
  bool BindAny();
  // One send or receive call each: the number of bytes, or -1 on failure
  // (0 from Receive when the peer closed).
  int Send(const char* data, size_t size);
  int Receive(char* buffer, size_t size);
  int SendTo(const uint8_t* data, size_t size, Ipv4Address address, uint16_t port);
  int ReceiveFrom(uint8_t* buffer, size_t size, Ipv4Address& from, uint16_t& from_port);
  // Waits until a receive would not block.
  WaitResult WaitReadable(int seconds);

 private:
  uintptr_t handle_;
};

// A dotted IPv4 address as the system parses it, else the first address the
// system's resolver gives for the host name; kNoAddress when neither works.
Ipv4Address ResolveHostAddress(const std::string& text);

}  // namespace qor
