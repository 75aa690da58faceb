#include <windows.h>
#include <iptypes.h>

#include <memory>

#include "crash/delivery/dns_servers.h"
#include "crash/delivery/library_win32.h"
#include "crash/delivery/registry_key_win32.h"

namespace qor {
namespace {

using GetNetworkParamsProc = DWORD(WINAPI*)(PFIXED_INFO, PULONG);

// A string value, empty when it is missing or not a string.
std::string ReadString(HKEY key, const char* name) {
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0) {
    return {};
  }
  std::string text(size, '\0');
  if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text.data()),
                       &size) != ERROR_SUCCESS) {
    return {};
  }
  text.resize(size < text.size() ? size : text.size());
  return text.substr(0, text.find('\0'));
}

std::vector<std::string> RegistryServers() {
  const bool is_9x = (GetVersion() & 0x80000000u) != 0;
  const std::string path = std::string("System\\CurrentControlSet\\Services\\") +
                           (is_9x ? "VxD\\MSTCP" : "Tcpip\\Parameters");
  const RegistryKey key(HKEY_LOCAL_MACHINE, path.c_str());
  if (key.get() == nullptr) return {};
  std::string servers = ReadString(key.get(), "DhcpNameServer");
  if (servers.empty()) servers = ReadString(key.get(), "NameServer");
  return SplitNameServerText(servers);
}

std::string AddressText(const IP_ADDRESS_STRING& address) {
  const char* text = address.String;
  size_t length = 0;
  while (length < sizeof address.String && text[length] != '\0') ++length;
  return std::string(text, length);
}

std::vector<std::string> HelperServers() {
  const Library helper("iphlpapi.dll");
  const auto get_params = helper.Find<GetNetworkParamsProc>("GetNetworkParams");
  if (get_params == nullptr) return {};
  ULONG size = 0;
  get_params(nullptr, &size);
  if (size == 0) return {};
  // Twice the size asked for: the list may grow between the two calls.
  size *= 2;
  const auto buffer = std::make_unique<uint8_t[]>(size);
  const auto info = reinterpret_cast<PFIXED_INFO>(buffer.get());
  if (get_params(info, &size) != ERROR_SUCCESS) return {};
  std::vector<std::string> servers;
  if (info->CurrentDnsServer != nullptr) {
    servers.push_back(AddressText(info->CurrentDnsServer->IpAddress));
  }
  for (const IP_ADDR_STRING* entry = &info->DnsServerList; entry != nullptr; entry = entry->Next) {
    const std::string text = AddressText(entry->IpAddress);
    if (!text.empty() && (servers.empty() || text != servers.front())) servers.push_back(text);
  }
  return servers;
}

}  // namespace

std::vector<std::string> ReadDnsServerList() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (GetVersionExA(&version) &&
      NameServersInRegistry(version.dwPlatformId, version.dwMajorVersion, version.dwMinorVersion)) {
    return RegistryServers();
  }
  return HelperServers();
}

}  // namespace qor
