// What the file calls share among compat's file areas. Internal to compat.
#pragma once

#include <sys/stat.h>

#include <string>

#include "compat/win32/Error.h"
#include "compat/win32/WinTypes.h"

namespace compat::win32 {

// The Windows attributes of the file `st` describes, found at `path`.
DWORD AttributesOf(const struct stat& st, const std::string& path);

// Sets the last-error code and answers `result`: `return Fail(ERROR_..., FALSE);`.
template <class T>
T Fail(DWORD error, T result) {
  SetLastError(error);
  return result;
}

}  // namespace compat::win32
