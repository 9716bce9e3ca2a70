// Replacing settings.ini on Windows: a new file beside it, flushed and
// renamed over it, or an overwrite in place where the folder takes no new
// file.
#include "platform/win32/win32.h"
// After windows.h, which win32.h includes.
#include <aclapi.h>

#include <array>
#include <cstdio>

#include "platform/system.h"

namespace pwdraw {
namespace {

using namespace win32;

// Gives `to` the access list of the file at `from`, inherited entries
// taken from the directory again as the system would. (ReplaceFileW would do
// this, but fails under wine.) Where it cannot, `to` stays owner-only.
void copy_access(const WidePath& from, HANDLE to) {
  ACL* access = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(from.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, &access, nullptr, &descriptor) != ERROR_SUCCESS) {
    return;
  }
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision;
  GetSecurityDescriptorControl(descriptor, &control, &revision);
  const SECURITY_INFORMATION which =
      DACL_SECURITY_INFORMATION |
      ((control & SE_DACL_PROTECTED) != 0 ? PROTECTED_DACL_SECURITY_INFORMATION
                                          : UNPROTECTED_DACL_SECURITY_INFORMATION);
  SetSecurityInfo(to, SE_FILE_OBJECT, which, nullptr, nullptr, access, nullptr);
  LocalFree(descriptor);
}

// Where the directory takes no new file, the old one is overwritten, only
// when the new text fits in it: no new cluster is needed, and the old bytes
// go back when the write or the cut fails.
void write_in_place(const WidePath& path, const char* data, std::size_t size) {
  const HANDLE file = open_file(path, GENERIC_READ | GENERIC_WRITE, kShareAll, OPEN_EXISTING,
                                nullptr, FILE_FLAG_OPEN_REPARSE_POINT);
  if (file == INVALID_HANDLE_VALUE) return;
  std::array<char, 2048> old;
  BY_HANDLE_FILE_INFORMATION info;
  DWORD got = 0, put;
  // A second name would make this write land in another file as well, and
  // a link put in its place since the check would lead to another. The old
  // bytes to keep are there only when the new text fits.
  if (GetFileInformationByHandle(file, &info) && info.nNumberOfLinks == 1 &&
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && size <= old.size() &&
      ReadFile(file, old.data(), static_cast<DWORD>(size), &got, nullptr) && got == size) {
    start_whole_write();
    if (!write_at(file, 0, data, size, put) || !cut_at(file, static_cast<std::int64_t>(size))) {
      write_at(file, 0, old.data(), size, put);
    }
    end_whole_write();
    FlushFileBuffers(file);
  }
  CloseHandle(file);
}

// Windows refuses to rename over a file while any handle is open on it,
// even one that shares deletion. Without `replace`, the name is taken only
// while it is free.
bool rename_over(const WidePath& from, const WidePath& to, bool replace) {
  const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
  while (!MoveFileExW(from.data(), to.data(), flags)) {
    if (!waited_for_holder(true)) return false;
  }
  return true;
}

void remove_file(const WidePath& path) {
  while (!DeleteFileW(path.data())) {
    if (!waited_for_holder(true)) return;
  }
}

}  // namespace

void replace_file(const char* path, const char* data, std::size_t size, bool found) {
  WidePath wide;
  if (!widen(path, wide)) return;
  const DWORD attributes = GetFileAttributesW(wide.data());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (!exists && GetLastError() != ERROR_FILE_NOT_FOUND) return;
  constexpr DWORD kNotOurs = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT |
                             FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_READONLY;
  // A file the caller did not find has since been renamed into place by
  // another run: it stays.
  if (exists && (!found || (attributes & kNotOurs) != 0)) return;
  // The new file takes them at its creation, so that the rename keeps them.
  const DWORD kept = exists ? attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM) : 0;

  // A name no other process can be using; one left by a killed run with
  // the same number is passed over. No one else may read or write it while
  // we write it.
  OwnerOnly security;
  SECURITY_ATTRIBUTES* const owner = owner_only(security);
  std::array<char, 256> narrow;
  WidePath temp;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (unsigned attempt = 0; file == INVALID_HANDLE_VALUE && attempt < 100; ++attempt) {
    const int length = std::snprintf(narrow.data(), narrow.size(), ".%s.%lu-%u", path,
                                     GetCurrentProcessId(), attempt);
    if (length <= 0 || static_cast<std::size_t>(length) >= narrow.size() ||
        !widen(narrow.data(), temp)) {
      break;
    }
    file = make_temp(temp, owner, kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL);
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (file == INVALID_HANDLE_VALUE) {
    if (exists) write_in_place(wide, data, size);
    return;
  }
  if (exists) copy_access(wide, file);
  DWORD put;
  const bool written = write_at(file, 0, data, size, put) && FlushFileBuffers(file);
  CloseHandle(file);
  if (!written || !rename_over(temp, wide, exists)) remove_file(temp);
  forget_temp();
}

}  // namespace pwdraw
