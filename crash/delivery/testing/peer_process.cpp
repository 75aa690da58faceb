#include "crash/delivery/testing/peer_process.h"

#include <sstream>

namespace qor::testing {
namespace {

// Python and its server libraries take a moment to start, more so under
// an emulator on a busy machine.
constexpr int kPeerSeconds = 60;

std::vector<std::string> PeerArguments(const std::string& script, uint16_t control_port,
                                       const std::vector<std::string>& arguments) {
  std::vector<std::string> all = {std::string(QOR_PEER_SCRIPT_DIR) + "/" + script, "--control",
                                  std::to_string(control_port)};
  all.insert(all.end(), arguments.begin(), arguments.end());
  return all;
}

}  // namespace

PeerProcess::PeerProcess(const std::string& script, const std::vector<std::string>& arguments) {
  if (!session_.started() || link_.port() == 0) return;
  child_.emplace(PeerArguments(script, link_.port(), arguments));
  if (!child_->started() || !link_.Accept(kPeerSeconds)) return;
  std::string line;
  while (ReadLine(line)) {
    std::istringstream words(line);
    std::string word;
    std::string name;
    unsigned port = 0;
    words >> word;
    if (word == "ready") {
      ready_ = true;
      return;
    }
    if (word == "port" && words >> name >> port) ports_[name] = static_cast<uint16_t>(port);
  }
}

uint16_t PeerProcess::Port(const std::string& name) const {
  const auto found = ports_.find(name);
  return found == ports_.end() ? 0 : found->second;
}

std::map<std::string, std::string> PeerProcess::Ask(const std::string& request) {
  std::map<std::string, std::string> items;
  if (!link_.Send(request + "\n")) return items;
  std::string line;
  while (ReadLine(line) && line != "end") {
    std::istringstream words(line);
    std::string word;
    std::string name;
    size_t size = 0;
    if (!(words >> word >> name >> size) || word != "item" || !ReadBytes(size, items[name])) {
      break;
    }
  }
  return items;
}

std::vector<std::string> PeerProcess::Events() {
  std::vector<std::string> events;
  std::istringstream lines(Ask("events")["events"]);
  for (std::string line; std::getline(lines, line);) events.push_back(line);
  return events;
}

bool PeerProcess::ReadLine(std::string& line) {
  size_t end;
  while ((end = received_.find('\n')) == std::string::npos) {
    char portion[4096];
    const int count = link_.Receive(portion, sizeof portion, kPeerSeconds);
    if (count <= 0) return false;
    received_.append(portion, static_cast<size_t>(count));
  }
  line = received_.substr(0, end);
  received_.erase(0, end + 1);
  return true;
}

bool PeerProcess::ReadBytes(size_t count, std::string& bytes) {
  while (received_.size() < count) {
    char portion[65536];
    const int n = link_.Receive(portion, sizeof portion, kPeerSeconds);
    if (n <= 0) return false;
    received_.append(portion, static_cast<size_t>(n));
  }
  bytes = received_.substr(0, count);
  received_.erase(0, count);
  return true;
}

}  // namespace qor::testing
