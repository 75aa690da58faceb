// A test server, a Python program of this folder, started by a test on
// 127.0.0.x and stopped when the object goes (it ends when its control
// connection closes). See peer_control.py for the conversation.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "crash/delivery/net_socket.h"
#include "crash/delivery/testing/peer_link.h"

namespace qor::testing {

class PeerProcess {
 public:
  // `script` is a file name of this folder.
  PeerProcess(const std::string& script, const std::vector<std::string>& arguments);

  // True once the server announced its ports and said it is ready.
  bool ready() const { return ready_; }
  // The port announced under `name`; 0 if none was.
  uint16_t Port(const std::string& name) const;
  // Sends one request line and returns the answer's items by name.
  std::map<std::string, std::string> Ask(const std::string& request);
  // What the server noted so far, one event a line.
  std::vector<std::string> Events();

 private:
  bool ReadLine(std::string& line);
  bool ReadBytes(size_t count, std::string& bytes);

  NetworkSession session_;
  // Declared before the link so that it goes after it: the program ends
  // when the link closes, and only then can it be collected.
  std::optional<PeerChild> child_;
  PeerLink link_;
  std::string received_;
  std::map<std::string, uint16_t> ports_;
  bool ready_ = false;
};

}  // namespace qor::testing
