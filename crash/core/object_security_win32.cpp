#include "crash/core/object_security.h"

#include "crash/core/win_handle.h"
#include "crash/modules/os_version.h"

namespace qor {

OwnObjectSecurity::OwnObjectSecurity() {
  if (!CurrentOs().Is9x) built_ = Build();
}

OwnObjectSecurity::~OwnObjectSecurity() {
  if (system_) FreeSid(system_);
}

bool OwnObjectSecurity::Build() {
  HANDLE token_handle = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token_handle)) return false;
  const OwnedHandle token(token_handle);
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  if (size == 0) return false;
  user_ = std::make_unique<BYTE[]>(size);
  if (!GetTokenInformation(token.get(), TokenUser, user_.get(), size, &size)) return false;
  const PSID user = reinterpret_cast<TOKEN_USER*>(user_.get())->User.Sid;

  SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
  if (!AllocateAndInitializeSid(&nt_authority, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0,
                                0, &system_)) {
    return false;
  }
  const DWORD acl_size = sizeof(ACL) + 2 * sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(user) +
                         GetLengthSid(system_);
  acl_ = std::make_unique<BYTE[]>(acl_size);
  PACL acl = reinterpret_cast<PACL>(acl_.get());
  if (!InitializeAcl(acl, acl_size, ACL_REVISION) ||
      !AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, user) ||
      !AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, system_) ||
      !InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE)) {
    return false;
  }
  attributes_ = SECURITY_ATTRIBUTES{sizeof attributes_, &descriptor_, FALSE};
  return true;
}

}  // namespace qor
