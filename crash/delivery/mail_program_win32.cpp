#include <windows.h>

#include <optional>
#include <string>

#include "crash/delivery/mail_client.h"
#include "crash/delivery/mailto_command.h"
#include "crash/delivery/registry_key_win32.h"

namespace qor {
namespace {

// The key's default value, however long; empty when it cannot be read.
std::string ReadDefaultValue(HKEY key) {
  DWORD size = 0;
  if (RegQueryValueExA(key, nullptr, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return {};
  std::string value(size + 1, '\0');
  if (RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(value.data()),
                       &size) != ERROR_SUCCESS) {
    return {};
  }
  return value.substr(0, value.find('\0'));
}

// Environment references expanded, the buffer sized from what the system
// asks for; empty when the expansion fails.
std::string ExpandEnvironment(const std::string& text) {
  DWORD needed = ExpandEnvironmentStringsA(text.c_str(), nullptr, 0);
  while (needed != 0) {
    std::string expanded(needed, '\0');
    const DWORD written = ExpandEnvironmentStringsA(text.c_str(), expanded.data(), needed);
    if (written == 0) return {};
    // The environment may have grown between the calls.
    if (written <= needed) return expanded.substr(0, expanded.find('\0'));
    needed = written;
  }
  return {};
}

std::string RegisteredMailCommand() {
  const RegistryKey key(HKEY_CLASSES_ROOT, "mailto\\shell\\open\\command");
  if (key.get() == nullptr) return {};
  return ExpandEnvironment(ReadDefaultValue(key.get()));
}

bool StartCommand(std::string command_line) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

}  // namespace

bool ShellSendReport(std::string_view recipients, std::string_view subject,
                     std::string_view body) {
  const std::string command = RegisteredMailCommand();
  if (command.empty()) return false;
  // The 9x family has its own, different limit and is left to fail.
  const bool is_nt = (GetVersion() & 0x80000000u) == 0;
  const std::optional<std::string> line = MailProgramCommandLine(
      command, recipients, subject, body, is_nt ? kMaxNtCommandLine : 0);
  return line && StartCommand(*line);
}

}  // namespace qor
