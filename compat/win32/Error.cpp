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

DWORD ErrorFromErrno(int err, bool missingFolder) {
  switch (err) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return missingFolder ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case EISDIR: return ERROR_ACCESS_DENIED;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case EXDEV: return ERROR_NOT_SAME_DEVICE;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENOSPC: return ERROR_DISK_FULL;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case EPIPE: return ERROR_BROKEN_PIPE;
    case EBUSY:
    case ETXTBSY: return ERROR_SHARING_VIOLATION;
    case EIO: return ERROR_READ_FAULT;
    case ENOSYS:
    case EOPNOTSUPP: return ERROR_NOT_SUPPORTED;
    default: return ERROR_INVALID_FUNCTION;
  }
}

}  // namespace compat::win32
