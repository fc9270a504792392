// What the file calls share among compat's file areas. Internal to compat.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>

#include <string>

#include "compat/win32/Error.h"
#include "compat/win32/WinTypes.h"

namespace compat::win32 {

// The Windows attributes of the file `st` describes, found at `path`; with
// `folder` an open folder holding it, its permission is asked there, by the
// path's last component.
DWORD AttributesOf(const struct stat& st, const std::string& path, int folder = AT_FDCWD);

// The Windows code for a failed call on `path`: a missing file
// (ERROR_FILE_NOT_FOUND) is told from a missing folder on the way to it
// (ERROR_PATH_NOT_FOUND).
DWORD PathError(int err, const std::string& path);

// Whether a handle of this process on the file `st` describes refuses a new
// use of it: reading, writing or removing it while sharing `share`.
bool SharingForbids(const struct stat& st, bool read, bool write, bool remove, DWORD share);

// The read-only attribute: no write bit at all, or no write permission for
// this user.
bool IsReadOnly(const struct stat& st, const std::string& path, int folder = AT_FDCWD);

// Renames `from` to `to` without replacing anything that is there: 0, or -1
// with errno (EEXIST when the name is taken). `folder` says what `from` is.
int RenameNoReplace(const std::string& from, const std::string& to, bool folder);

// Writes every byte read from `in` to `out`; false with errno on failure.
bool CopyBytes(int in, int out);

// Sets the last-error code and answers `result`: `return Fail(ERROR_..., FALSE);`.
template <class T>
T Fail(DWORD error, T result) {
  SetLastError(error);
  return result;
}

}  // namespace compat::win32
