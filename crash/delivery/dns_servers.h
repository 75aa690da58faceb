// The DNS servers the machine is configured with.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qor {

// The servers, in the system's order; dotted addresses or host names. Empty
// items may occur and are skipped by the users of the list.
std::vector<std::string> ReadDnsServerList();

// Windows 95 and NT up to 4.0 keep the servers only in the registry; later
// releases report them through the IP helper library.
bool NameServersInRegistry(uint32_t platform_id, uint32_t major, uint32_t minor);

// A registry value holding servers: split at "," when it has one, otherwise
// at blanks; items are not trimmed and empty items stay. An empty text
// gives no items.
std::vector<std::string> SplitNameServerText(std::string_view text);

}  // namespace qor
