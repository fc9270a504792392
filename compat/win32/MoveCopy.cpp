// Moving and copying files over rename(2) and a copy through a temporary
// file beside the target, with Windows' answers for existing targets, open
// files and other file systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>

#include "compat/win32/Error.h"
#include "compat/win32/File.h"
#include "compat/win32/FileInternal.h"
#include "compat/win32/Path.h"

namespace compat::win32 {

// File systems without the kernel's no-replace rename fall back to a hard
// link for files, which refuses an existing name just as atomically.
int RenameNoReplace(const std::string& from, const std::string& to, bool folder) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  if (folder) {
    struct stat st;
    if (lstat(to.c_str(), &st) == 0) {
      errno = EEXIST;
      return -1;
    }
    return rename(from.c_str(), to.c_str());
  }
  if (link(from.c_str(), to.c_str()) != 0) return -1;
  return unlink(from.c_str());
}

bool CopyBytes(int in, int out) {
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t n = read(in, buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    for (ssize_t done = 0; done < n;) {
      const ssize_t written = write(out, buffer + done, static_cast<std::size_t>(n - done));
      if (written < 0 && errno == EINTR) continue;
      if (written < 0) return false;
      done += written;
    }
  }
}

}  // namespace compat::win32

using namespace compat::win32;

namespace {

constexpr DWORD kKnownMoveFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH;

std::optional<std::string> MapPath(LPCWSTR path) {
  if (path == nullptr) return Fail<std::optional<std::string>>(ERROR_INVALID_PARAMETER, std::nullopt);
  std::optional<std::string> result = PosixPath(path);
  if (!result) SetLastError(ERROR_PATH_NOT_FOUND);
  return result;
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Copies the regular file `from` (described by `st`) to `to`: the bytes go
// into a hidden file in the target's folder first, which then takes the
// target's name, replacing what is there only with `replace`. Answers the
// Windows code, ERROR_SUCCESS when done.
DWORD CopyInto(const std::string& from, const struct stat& st, const std::string& to, bool replace, bool flush) {
  const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return PathError(errno, from);
  const std::string folder = ParentFolder(to);
  std::string temporary = folder + "/.~" + std::string(LastComponent(to)) + ".XXXXXX";
  const int out = mkostemp(temporary.data(), O_CLOEXEC);
  if (out < 0) {
    const DWORD error = ErrorFromErrno(errno, errno == ENOENT);
    close(in);
    return error;
  }
  const timespec times[2] = {st.st_atim, st.st_mtim};
  bool done = CopyBytes(in, out) && fchmod(out, st.st_mode & 07777) == 0 && futimens(out, times) == 0 &&
              (!flush || fsync(out) == 0);
  int err = errno;
  close(in);
  if (close(out) != 0 && done) {
    done = false;
    err = errno;
  }
  if (done) {
    done = (replace ? rename(temporary.c_str(), to.c_str()) : RenameNoReplace(temporary, to, false)) == 0;
    err = errno;
  }
  if (done) return ERROR_SUCCESS;
  unlink(temporary.c_str());
  return ErrorFromErrno(err);
}

// What stops an existing target from being replaced: a folder, a read-only
// file, or a handle of this process that does not share deletion.
DWORD ReplaceableTarget(const struct stat& target, const std::string& path) {
  if (S_ISDIR(target.st_mode) || (S_ISREG(target.st_mode) && IsReadOnly(target, path))) return ERROR_ACCESS_DENIED;
  if (S_ISREG(target.st_mode) &&
      SharingForbids(target, false, false, true, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)) {
    return ERROR_SHARING_VIOLATION;
  }
  return ERROR_SUCCESS;
}

}  // namespace

BOOL WINAPI MoveFileExW(LPCWSTR existingFileName, LPCWSTR newFileName, DWORD flags) {
  if ((flags & ~kKnownMoveFlags) != 0 || newFileName == nullptr) return Fail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
  const std::optional<std::string> from = MapPath(existingFileName);
  if (!from) return FALSE;
  const std::optional<std::string> to = MapPath(newFileName);
  if (!to) return FALSE;
  struct stat source;
  if (lstat(from->c_str(), &source) != 0) return Fail(PathError(errno, *from), FALSE);
  const bool folder = S_ISDIR(source.st_mode);
  // Moving a file someone holds open without sharing deletion is refused.
  if (S_ISREG(source.st_mode) &&
      SharingForbids(source, false, false, true, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)) {
    return Fail<BOOL>(ERROR_SHARING_VIOLATION, FALSE);
  }
  struct stat target;
  const bool exists = lstat(to->c_str(), &target) == 0;
  // A new spelling of the same name is a rename onto itself, which is allowed.
  const bool replace = exists && !SameFile(source, target);
  if (replace) {
    if (!(flags & MOVEFILE_REPLACE_EXISTING)) return Fail<BOOL>(ERROR_ALREADY_EXISTS, FALSE);
    if (folder) return Fail<BOOL>(ERROR_ACCESS_DENIED, FALSE);
    if (const DWORD refused = ReplaceableTarget(target, *to)) return Fail<BOOL>(refused, FALSE);
  }
  const int renamed = (flags & MOVEFILE_REPLACE_EXISTING) || (exists && !replace)
                          ? rename(from->c_str(), to->c_str())
                          : RenameNoReplace(*from, *to, folder);
  if (renamed == 0) return TRUE;
  if (errno != EXDEV) return Fail(ErrorFromErrno(errno, errno == ENOENT), FALSE);
  if (folder || !(flags & MOVEFILE_COPY_ALLOWED) || !S_ISREG(source.st_mode)) {
    return Fail<BOOL>(ERROR_NOT_SAME_DEVICE, FALSE);
  }
  const DWORD copied =
      CopyInto(*from, source, *to, (flags & MOVEFILE_REPLACE_EXISTING) != 0, (flags & MOVEFILE_WRITE_THROUGH) != 0);
  if (copied != ERROR_SUCCESS) return Fail<BOOL>(copied, FALSE);
  // The copy is in place; an original that cannot go stays, and the move
  // still counts as done.
  unlink(from->c_str());
  return TRUE;
}

BOOL WINAPI MoveFileW(LPCWSTR existingFileName, LPCWSTR newFileName) {
  return MoveFileExW(existingFileName, newFileName, MOVEFILE_COPY_ALLOWED);
}

BOOL WINAPI CopyFileW(LPCWSTR existingFileName, LPCWSTR newFileName, BOOL failIfExists) {
  const std::optional<std::string> from = MapPath(existingFileName);
  if (!from) return FALSE;
  const std::optional<std::string> to = MapPath(newFileName);
  if (!to) return FALSE;
  struct stat source;
  if (stat(from->c_str(), &source) != 0) return Fail(PathError(errno, *from), FALSE);
  if (!S_ISREG(source.st_mode)) return Fail<BOOL>(ERROR_ACCESS_DENIED, FALSE);
  // Reading the source shares reading and deletion only, as the system's copy does.
  if (SharingForbids(source, true, false, false, FILE_SHARE_READ | FILE_SHARE_DELETE)) {
    return Fail<BOOL>(ERROR_SHARING_VIOLATION, FALSE);
  }
  struct stat target;
  if (stat(to->c_str(), &target) == 0) {
    if (failIfExists) return Fail<BOOL>(ERROR_FILE_EXISTS, FALSE);
    if (SameFile(source, target)) return Fail<BOOL>(ERROR_SHARING_VIOLATION, FALSE);
    if (const DWORD refused = ReplaceableTarget(target, *to)) return Fail<BOOL>(refused, FALSE);
  }
  const DWORD copied = CopyInto(*from, source, *to, !failIfExists, false);
  if (copied == ERROR_ALREADY_EXISTS) return Fail<BOOL>(ERROR_FILE_EXISTS, FALSE);
  if (copied != ERROR_SUCCESS) return Fail<BOOL>(copied, FALSE);
  return TRUE;
}
