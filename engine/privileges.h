// The two security operations of the uninstaller: whether the user runs it
// as a member of a built-in group (removing drivers needs Administrators on
// the NT family), and enabling a named privilege in the process token. The
// 9x family has no such security; both answer true there without asking.
#pragma once

#include <cstdint>
#include <string>

#include "engine/device_platform.h"

namespace engine {

// True when the caller's effective token holds the enabled, non-deny-only
// group S-1-5-32-`rid`. Every failure gives false; never raises.
bool IsGroupMember(DevicePlatform& platform, uint32_t rid);

// IsGroupMember(kDomainAliasRidAdmins).
bool IsAdmin(DevicePlatform& platform);

// Enables (or disables) the privilege `name`, e.g. "SeShutdownPrivilege", in
// the process token. Returns true on success; raises runtime::EOSError with
// the system's message text and the error code when the token cannot be
// opened, the name is unknown or the user does not hold the privilege.
bool EnablePrivilege(DevicePlatform& platform, const std::string& name, bool enable);

}  // namespace engine
