#include <arpa/inet.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "crash/delivery/testing/peer_link.h"

extern char** environ;

namespace qor::testing {
namespace {

constexpr uintptr_t kNone = ~uintptr_t{0};

bool WaitReadable(int fd, int seconds) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(fd, &readable);
  timeval timeout{seconds, 0};
  return select(fd + 1, &readable, nullptr, nullptr, &timeout) == 1;
}

}  // namespace

PeerLink::PeerLink() : listener_(kNone), connection_(kNone) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return;
  listener_ = static_cast<uintptr_t>(fd);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 || listen(fd, 1) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    return;
  }
  port_ = ntohs(address.sin_port);
}

PeerLink::~PeerLink() {
  if (connection_ != kNone) close(static_cast<int>(connection_));
  if (listener_ != kNone) close(static_cast<int>(listener_));
}

bool PeerLink::Accept(int seconds) {
  if (port_ == 0 || !WaitReadable(static_cast<int>(listener_), seconds)) return false;
  const int fd = accept(static_cast<int>(listener_), nullptr, nullptr);
  if (fd < 0) return false;
  connection_ = static_cast<uintptr_t>(fd);
  return true;
}

bool PeerLink::Send(const std::string& text) {
  return connection_ != kNone &&
         send(static_cast<int>(connection_), text.data(), text.size(), MSG_NOSIGNAL) ==
             static_cast<ssize_t>(text.size());
}

int PeerLink::Receive(char* buffer, size_t size, int seconds) {
  if (connection_ == kNone || !WaitReadable(static_cast<int>(connection_), seconds)) return -1;
  return static_cast<int>(recv(static_cast<int>(connection_), buffer, size, 0));
}

PeerChild::PeerChild(const std::vector<std::string>& arguments) {
  std::vector<std::string> words = {"/usr/bin/python3"};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  started_ = posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0;
  process_ = pid;
}

PeerChild::~PeerChild() {
  // By now the link is closed and the program on its way out.
  if (started_) waitpid(static_cast<pid_t>(process_), nullptr, 0);
}

}  // namespace qor::testing
