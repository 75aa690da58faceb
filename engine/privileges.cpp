#include "engine/privileges.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "engine/local_buffer.h"
#include "engine/platform_handle.h"
#include "runtime/exceptions.h"

namespace engine {
namespace {

// The CheckTokenMembership entry point, or 0 where the system predates it
// (major version below 5) or lacks it.
ProcAddress FindCheckTokenMembership(DevicePlatform& platform) {
  if ((platform.GetVersion() & 0xFF) < 5) return 0;
  const ModuleHandle advapi32 = platform.GetModuleHandleA("advapi32.dll");
  if (advapi32 == 0) return 0;
  return platform.GetProcAddress(advapi32, "CheckTokenMembership");
}

// Opens the thread's token for querying, or the process token when the
// thread does not impersonate. False when no token could be opened.
bool OpenQueryToken(DevicePlatform& platform, Handle* token) {
  if (platform.OpenThreadToken(platform.GetCurrentThread(), kTokenQuery, true, token)) return true;
  if (platform.GetLastError() != kErrorNoToken) return false;
  return platform.OpenProcessToken(platform.GetCurrentProcess(), kTokenQuery, token);
}

// True when the TOKEN_GROUPS in `groups` holds `sid` enabled and not
// deny-only. Groups that the count claims but the buffer lacks are ignored.
bool HoldsEnabledGroup(DevicePlatform& platform, const LocalBuffer& groups, SidHandle sid) {
  constexpr size_t first = offsetof(TokenGroups, Groups);
  if (groups.size() < first) return false;
  uint32_t count = 0;
  std::memcpy(&count, groups.data() + offsetof(TokenGroups, GroupCount), sizeof(count));
  const size_t fitting = (groups.size() - first) / sizeof(SidAndAttributes);
  for (size_t index = 0; index < std::min<size_t>(count, fitting); ++index) {
    SidAndAttributes group{};
    std::memcpy(&group, groups.data() + first + index * sizeof(group), sizeof(group));
    const uint32_t state = group.Attributes & (kSeGroupEnabled | kSeGroupUseForDenyOnly);
    if (platform.EqualSid(group.Sid, sid) && state == kSeGroupEnabled) return true;
  }
  return false;
}

// Membership test for systems without CheckTokenMembership: reads the
// token's groups itself. False on any failure.
bool TokenHoldsGroup(DevicePlatform& platform, SidHandle sid) {
  Handle raw_token = 0;
  if (!OpenQueryToken(platform, &raw_token)) return false;
  const OwnedHandle token(platform, raw_token);
  uint32_t size = 0;
  if (!platform.GetTokenInformation(token.get(), kTokenGroupsClass, nullptr, 0, &size) &&
      platform.GetLastError() != kErrorInsufficientBuffer) {
    return false;
  }
  const LocalBuffer groups(platform, size);
  if (!groups.data() ||
      !platform.GetTokenInformation(token.get(), kTokenGroupsClass, groups.data(), groups.size(),
                                    &size)) {
    return false;
  }
  return HoldsEnabledGroup(platform, groups, sid);
}

bool IsGroupMemberNT(DevicePlatform& platform, uint32_t rid) {
  const SidIdentifierAuthority nt_authority{{0, 0, 0, 0, 0, 5}};
  SidHandle raw_sid = 0;
  if (!platform.AllocateAndInitializeSid(&nt_authority, 2, kSecurityBuiltinDomainRid, rid, 0, 0,
                                         0, 0, 0, 0, &raw_sid)) {
    return false;
  }
  const OwnedSid sid(platform, raw_sid);
  const ProcAddress check = FindCheckTokenMembership(platform);
  if (check == 0) return TokenHoldsGroup(platform, sid.get());
  // No token: the system tests the caller's effective token by its own rule.
  int32_t is_member = 0;
  return platform.CheckTokenMembership(check, 0, sid.get(), &is_member) && is_member != 0;
}

// Sets the privilege's state in the process token; returns the thread's
// last error, 0 when the token now has the state asked for. Adjusting
// reports success with kErrorNotAllAssigned when the user lacks the
// privilege, so only the error code tells. The code is read before the
// token is closed, so that closing cannot disturb it.
uint32_t AdjustPrivilege(DevicePlatform& platform, const std::string& name, bool enable) {
  Handle raw_token = 0;
  if (!platform.OpenProcessToken(platform.GetCurrentProcess(),
                                 kTokenAdjustPrivileges | kTokenQuery, &raw_token)) {
    return platform.GetLastError();
  }
  const OwnedHandle token(platform, raw_token);
  TokenPrivileges state{};
  state.PrivilegeCount = 1;
  if (!platform.LookupPrivilegeValueA(nullptr, name.c_str(), &state.Privileges[0].Luid)) {
    return platform.GetLastError();
  }
  state.Privileges[0].Attributes = enable ? kSePrivilegeEnabled : 0;
  TokenPrivileges previous{};
  uint32_t return_length = 0;
  platform.AdjustTokenPrivileges(token.get(), false, &state, sizeof(previous), &previous,
                                 &return_length);
  return platform.GetLastError();
}

// The system's text for `error`, without its trailing line break and dot.
std::string SystemMessage(DevicePlatform& platform, uint32_t error) {
  char buffer[256] = {};
  const uint32_t length =
      platform.FormatMessageA(kFormatMessageFromSystem | kFormatMessageIgnoreInserts, error, 0,
                              buffer, sizeof(buffer));
  std::string text(buffer, std::min<size_t>(length, sizeof(buffer) - 1));
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.')) {
    text.pop_back();
  }
  if (text.empty()) text = "System error " + std::to_string(error);
  return text;
}

}  // namespace

bool IsGroupMember(DevicePlatform& platform, uint32_t rid) {
  if (!platform.IsNtFamily()) return true;
  try {
    return IsGroupMemberNT(platform, rid);
  } catch (...) {
    return false;  // out of memory; what was obtained is already released
  }
}

bool IsAdmin(DevicePlatform& platform) { return IsGroupMember(platform, kDomainAliasRidAdmins); }

bool EnablePrivilege(DevicePlatform& platform, const std::string& name, bool enable) {
  if (!platform.IsNtFamily()) return true;
  const uint32_t error = AdjustPrivilege(platform, name, enable);
  if (error == 0) return true;
  throw runtime::EOSError(SystemMessage(platform, error), error);
}

}  // namespace engine
