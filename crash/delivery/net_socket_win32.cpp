#include <winsock2.h>

#include <cstring>

#include "crash/delivery/net_socket.h"

namespace qor {
namespace {

constexpr WORD kWinsockVersion = 0x0101;

SOCKET Sock(uintptr_t handle) { return static_cast<SOCKET>(handle); }

sockaddr_in MakeAddress(Ipv4Address address, uint16_t port) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = htonl(address);
  return to;
}

int Clamp(size_t size) { return size > 0x7fffffff ? 0x7fffffff : static_cast<int>(size); }

}  // namespace

NetworkSession::NetworkSession() {
  WSADATA data;
  started_ = WSAStartup(kWinsockVersion, &data) == 0;
}

NetworkSession::~NetworkSession() {
  if (started_) WSACleanup();
}

NetSocket::NetSocket(Kind kind)
    : handle_(kind == Kind::kStream ? socket(AF_INET, SOCK_STREAM, 0)
                                    : socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP)) {}

NetSocket::~NetSocket() {
  if (valid()) closesocket(Sock(handle_));
}

bool NetSocket::valid() const { return Sock(handle_) != INVALID_SOCKET; }

bool NetSocket::Connect(Ipv4Address address, uint16_t port) {
  const sockaddr_in to = MakeAddress(address, port);
  return connect(Sock(handle_), reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0;
}

bool NetSocket::BindAny() {
  const sockaddr_in any = MakeAddress(0, 0);
  return bind(Sock(handle_), reinterpret_cast<const sockaddr*>(&any), sizeof any) == 0;
}

int NetSocket::Send(const char* data, size_t size) {
  return send(Sock(handle_), data, Clamp(size), 0);
}

int NetSocket::Receive(char* buffer, size_t size) {
  return recv(Sock(handle_), buffer, Clamp(size), 0);
}

int NetSocket::SendTo(const uint8_t* data, size_t size, Ipv4Address address, uint16_t port) {
  const sockaddr_in to = MakeAddress(address, port);
  return sendto(Sock(handle_), reinterpret_cast<const char*>(data), Clamp(size), 0,
                reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

int NetSocket::ReceiveFrom(uint8_t* buffer, size_t size, Ipv4Address& from, uint16_t& from_port) {
  sockaddr_in peer{};
  int peer_size = sizeof peer;
  const int n = recvfrom(Sock(handle_), reinterpret_cast<char*>(buffer), Clamp(size), 0,
                         reinterpret_cast<sockaddr*>(&peer), &peer_size);
  from = ntohl(peer.sin_addr.s_addr);
  from_port = ntohs(peer.sin_port);
  return n;
}

WaitResult NetSocket::WaitReadable(int seconds) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(Sock(handle_), &readable);
  timeval timeout{seconds, 0};
  const int n = select(0, &readable, nullptr, nullptr, &timeout);
  if (n == SOCKET_ERROR) return WaitResult::kError;
  return n == 0 ? WaitResult::kTimeout : WaitResult::kReady;
}

Ipv4Address ResolveHostAddress(const std::string& text) {
  const unsigned long dotted = inet_addr(text.c_str());
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
