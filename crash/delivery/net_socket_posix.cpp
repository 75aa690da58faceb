#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "crash/delivery/net_socket.h"

namespace qor {
namespace {

constexpr uintptr_t kNoSocket = ~uintptr_t{0};

int Fd(uintptr_t handle) { return static_cast<int>(handle); }

sockaddr_in MakeAddress(Ipv4Address address, uint16_t port) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = htonl(address);
  return to;
}

}  // namespace

NetworkSession::NetworkSession() : started_(true) {}
NetworkSession::~NetworkSession() = default;

NetSocket::NetSocket(Kind kind) {
  const int fd = kind == Kind::kStream ? socket(AF_INET, SOCK_STREAM, 0)
                                       : socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  handle_ = fd < 0 ? kNoSocket : static_cast<uintptr_t>(fd);
}

NetSocket::~NetSocket() {
  if (valid()) close(Fd(handle_));
}

bool NetSocket::valid() const { return handle_ != kNoSocket; }

bool NetSocket::Connect(Ipv4Address address, uint16_t port) {
  const sockaddr_in to = MakeAddress(address, port);
  return connect(Fd(handle_), reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0;
}

bool NetSocket::BindAny() {
  const sockaddr_in any = MakeAddress(0, 0);
  return bind(Fd(handle_), reinterpret_cast<const sockaddr*>(&any), sizeof any) == 0;
}

int NetSocket::Send(const char* data, size_t size) {
  // A peer that has closed gives an error here, not a signal.
  return static_cast<int>(send(Fd(handle_), data, size, MSG_NOSIGNAL));
}

int NetSocket::Receive(char* buffer, size_t size) {
  return static_cast<int>(recv(Fd(handle_), buffer, size, 0));
}

int NetSocket::SendTo(const uint8_t* data, size_t size, Ipv4Address address, uint16_t port) {
  const sockaddr_in to = MakeAddress(address, port);
  return static_cast<int>(
      sendto(Fd(handle_), data, size, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to));
}

int NetSocket::ReceiveFrom(uint8_t* buffer, size_t size, Ipv4Address& from, uint16_t& from_port) {
  sockaddr_in peer{};
  socklen_t peer_size = sizeof peer;
  const ssize_t n =
      recvfrom(Fd(handle_), buffer, size, 0, reinterpret_cast<sockaddr*>(&peer), &peer_size);
  from = ntohl(peer.sin_addr.s_addr);
  from_port = ntohs(peer.sin_port);
  return static_cast<int>(n);
}

WaitResult NetSocket::WaitReadable(int seconds) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(Fd(handle_), &readable);
  timeval timeout{seconds, 0};
  const int n = select(Fd(handle_) + 1, &readable, nullptr, nullptr, &timeout);
  if (n < 0) return WaitResult::kError;
  return n == 0 ? WaitResult::kTimeout : WaitResult::kReady;
}

Ipv4Address ResolveHostAddress(const std::string& text) {
  const in_addr_t dotted = inet_addr(text.c_str());
  if (dotted != INADDR_NONE) return ntohl(dotted);
  const hostent* host = gethostbyname(text.c_str());
  if (host == nullptr || host->h_addrtype != AF_INET || host->h_addr_list[0] == nullptr) {
    return kNoAddress;
  }
  in_addr first;
  std::memcpy(&first, host->h_addr_list[0], sizeof first);
  return ntohl(first.s_addr);
}

}  // namespace qor
