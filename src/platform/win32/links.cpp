// The way to our files on Windows: who owns a file, which reparse points a
// run writes through, and the owner-only security of the files it makes.
#include "platform/win32/win32.h"
// After windows.h, which win32.h includes.
#include <aclapi.h>

namespace pwdraw::win32 {
namespace {

// The user who runs us; null when the token does not tell.
PSID user_sid(UserSid& room) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return nullptr;
  DWORD size = 0;
  const bool found = GetTokenInformation(token, TokenUser, room.bytes.data(),
                                         static_cast<DWORD>(room.bytes.size()), &size);
  CloseHandle(token);
  return found ? reinterpret_cast<TOKEN_USER*>(room.bytes.data())->User.Sid : nullptr;
}

// Whether `file` belongs to the user who runs us, to the Administrators
// group (which owns what an elevated administrator makes, such as most
// symbolic links) or to the system: to no other user.
bool is_trusted(HANDLE file) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                      nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  UserSid room;
  const PSID user = user_sid(room);
  const bool trusted = owner != nullptr && ((user != nullptr && EqualSid(owner, user)) ||
                                            IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
                                            IsWellKnownSid(owner, WinLocalSystemSid));
  LocalFree(descriptor);
  return trusted;
}

}  // namespace

SECURITY_ATTRIBUTES* owner_only(OwnerOnly& o) {
  const PSID user = user_sid(o.user);
  if (user == nullptr) return nullptr;
  auto* acl = reinterpret_cast<ACL*>(o.acl.data());
  if (!InitializeAcl(acl, static_cast<DWORD>(o.acl.size()), ACL_REVISION) ||
      !AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, user) ||
      !InitializeSecurityDescriptor(&o.descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&o.descriptor, TRUE, acl, FALSE) ||
      !SetSecurityDescriptorControl(&o.descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
    return nullptr;
  }
  o.attributes = {sizeof(o.attributes), &o.descriptor, FALSE};
  return &o.attributes;
}

HANDLE hold_reparse_point(const WidePath& path) {
  const HANDLE point =
      open_file(path, READ_CONTROL | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                OPEN_EXISTING, nullptr, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS);
  FILE_ATTRIBUTE_TAG_INFO tag;
  if (point == INVALID_HANDLE_VALUE ||
      (GetFileInformationByHandleEx(point, FileAttributeTagInfo, &tag, sizeof(tag)) &&
       (!IsReparseTagNameSurrogate(tag.ReparseTag) || is_trusted(point)))) {
    return point;
  }
  CloseHandle(point);
  return INVALID_HANDLE_VALUE;
}

}  // namespace pwdraw::win32
