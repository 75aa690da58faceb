// Security for the kernel objects that the modules of one process share
// (the thread registry's mapping and mutexes): the current user and SYSTEM
// may use them, nobody else (Windows only).
#pragma once

#include <windows.h>

#include <memory>

namespace qor {

class OwnObjectSecurity {
 public:
  // Builds the descriptor; on the 9x family, which has no object security,
  // or when the system refuses a step, Attributes() is null and objects get
  // the system's default security (which does not admit everyone either).
  OwnObjectSecurity();
  OwnObjectSecurity(const OwnObjectSecurity&) = delete;
  OwnObjectSecurity& operator=(const OwnObjectSecurity&) = delete;
  ~OwnObjectSecurity();

  SECURITY_ATTRIBUTES* Attributes() { return built_ ? &attributes_ : nullptr; }

 private:
  bool Build();

  std::unique_ptr<BYTE[]> user_;  // TOKEN_USER with the user's SID
  PSID system_ = nullptr;
  std::unique_ptr<BYTE[]> acl_;
  SECURITY_DESCRIPTOR descriptor_{};
  SECURITY_ATTRIBUTES attributes_{};
  bool built_ = false;
};

}  // namespace qor
