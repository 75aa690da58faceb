#include <winsock2.h>
#include <windows.h>

#include "crash/delivery/testing/peer_link.h"

namespace qor::testing {
namespace {

SOCKET Sock(uintptr_t handle) { return static_cast<SOCKET>(handle); }

bool WaitReadable(SOCKET s, int seconds) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(s, &readable);
  timeval timeout{seconds, 0};
  return select(0, &readable, nullptr, nullptr, &timeout) == 1;
}

}  // namespace

PeerLink::PeerLink() : listener_(socket(AF_INET, SOCK_STREAM, 0)), connection_(INVALID_SOCKET) {
  if (Sock(listener_) == INVALID_SOCKET) return;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int size = sizeof address;
  if (bind(Sock(listener_), reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      listen(Sock(listener_), 1) != 0 ||
      getsockname(Sock(listener_), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    return;
  }
  port_ = ntohs(address.sin_port);
}

PeerLink::~PeerLink() {
  if (Sock(connection_) != INVALID_SOCKET) closesocket(Sock(connection_));
  if (Sock(listener_) != INVALID_SOCKET) closesocket(Sock(listener_));
}

bool PeerLink::Accept(int seconds) {
  if (port_ == 0 || !WaitReadable(Sock(listener_), seconds)) return false;
  const SOCKET s = accept(Sock(listener_), nullptr, nullptr);
  if (s == INVALID_SOCKET) return false;
  connection_ = s;
  return true;
}

bool PeerLink::Send(const std::string& text) {
  return Sock(connection_) != INVALID_SOCKET &&
         send(Sock(connection_), text.data(), static_cast<int>(text.size()), 0) ==
             static_cast<int>(text.size());
}

int PeerLink::Receive(char* buffer, size_t size, int seconds) {
  if (Sock(connection_) == INVALID_SOCKET || !WaitReadable(Sock(connection_), seconds)) return -1;
  return recv(Sock(connection_), buffer, static_cast<int>(size), 0);
}

PeerChild::PeerChild(const std::vector<std::string>& arguments) {
  // Wine starts a Unix program given by its path on the drive that maps
  // "/", handing it the arguments as they are written. It gives back no
  // process handle, so the program is not waited for, and what it leaves
  // in the thread handle's place is no handle of ours: closing it closed
  // whatever handle of the process had that value.
  std::string command = "Z:\\usr\\bin\\python3";
  for (const std::string& argument : arguments) command += " " + argument;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  started_ = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &process) != FALSE;
  if (process.hProcess != nullptr) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
}

PeerChild::~PeerChild() = default;

}  // namespace qor::testing
