// The last-error code and the errno boundary.
#include "compat/win32/Error.h"

#include <cerrno>
#include <cstring>
#include <string_view>

namespace {
thread_local DWORD g_lastError = ERROR_SUCCESS;

struct MessageText {
  DWORD code;
  const char* text;
};

#define COMPAT_WIN32_ERROR_TEXT(name, code, text) {name, text},
constexpr MessageText kMessages[] = {COMPAT_WIN32_ERRORS(COMPAT_WIN32_ERROR_TEXT)};
#undef COMPAT_WIN32_ERROR_TEXT
}  // namespace

DWORD WINAPI GetLastError() { return g_lastError; }

void WINAPI SetLastError(DWORD code) { g_lastError = code; }

DWORD WINAPI FormatMessageW(DWORD flags, LPCVOID /*source*/, DWORD messageId, DWORD languageId,
                            LPWSTR buffer, DWORD size, void* /*arguments*/) {
  if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0 ||
      buffer == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // A language id is 16 bits: the primary language in the low ten.
  const DWORD primary = languageId & 0x3ff;
  if (languageId > 0xffff || (primary != LANG_NEUTRAL && primary != LANG_ENGLISH)) {
    SetLastError(ERROR_RESOURCE_LANG_NOT_FOUND);
    return 0;
  }
  for (const MessageText& m : kMessages) {
    if (m.code != messageId) continue;
    std::string_view text = m.text;
    // The system's texts end in CR LF.
    const DWORD needed = static_cast<DWORD>(text.size()) + 2;
    if (size < needed + 1) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    DWORD i = 0;
    for (char c : text) buffer[i++] = static_cast<WCHAR>(static_cast<unsigned char>(c));
    buffer[i++] = u'\r';
    buffer[i++] = u'\n';
    buffer[i] = 0;
    return i;
  }
  SetLastError(ERROR_MR_MID_NOT_FOUND);
  return 0;
}

namespace compat::win32 {

namespace {

struct ErrnoCode {
  int err;
  DWORD code;
};

// Every errno the calls of this tree can meet, with the code Windows reports
// for the same failure. ENOENT is not here: its code depends on what is missing.
constexpr ErrnoCode kErrnoCodes[] = {
    {0, ERROR_SUCCESS},
    {ENOTDIR, ERROR_PATH_NOT_FOUND},
    {ELOOP, ERROR_CANT_RESOLVE_FILENAME},
    {EACCES, ERROR_ACCESS_DENIED},
    {EPERM, ERROR_ACCESS_DENIED},
    {EROFS, ERROR_ACCESS_DENIED},
    {EISDIR, ERROR_ACCESS_DENIED},
    {EEXIST, ERROR_ALREADY_EXISTS},
    {ENOTEMPTY, ERROR_DIR_NOT_EMPTY},
    {EXDEV, ERROR_NOT_SAME_DEVICE},
    {EBADF, ERROR_INVALID_HANDLE},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENOSPC, ERROR_DISK_FULL},
    {EDQUOT, ERROR_DISK_FULL},
    {EFBIG, ERROR_FILE_TOO_LARGE},
    {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {EOVERFLOW, ERROR_ARITHMETIC_OVERFLOW},
    {ESPIPE, ERROR_SEEK_ON_DEVICE},
    {EPIPE, ERROR_BROKEN_PIPE},
    {ENXIO, ERROR_PIPE_NOT_CONNECTED},
    {EAGAIN, ERROR_LOCK_VIOLATION},
    {EBUSY, ERROR_SHARING_VIOLATION},
    {ETXTBSY, ERROR_SHARING_VIOLATION},
    {EIO, ERROR_READ_FAULT},
    {ENODEV, ERROR_NOT_READY},
    {ENOSYS, ERROR_NOT_SUPPORTED},
    {EOPNOTSUPP, ERROR_NOT_SUPPORTED},
};

}  // namespace

DWORD ErrorFromErrno(int err, bool missingFolder) {
  if (err == ENOENT) return missingFolder ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND;
  for (const ErrnoCode& row : kErrnoCodes) {
    if (row.err == err) return row.code;
  }
  return ERROR_INVALID_FUNCTION;
}

}  // namespace compat::win32
