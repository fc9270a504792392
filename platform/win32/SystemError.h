// The one rule by which the platform layer turns a failed system call into a
// library error.
//
//   if (!FlushFileBuffers(handle)) lumo::win32::ThrowSystemError(GetLastError());
//   ThrowSystemError(code, "Cannot read the settings: %ERRORDESC%");
#pragma once

#include <cstdint>

#include "foundation/IURI.h"
#include "foundation/String.h"

namespace lumo::win32 {

// The system's description of an error code in the default language, without
// the line break the system ends it with; empty when the system has no text.
String DescribeSystemError(std::uint32_t code);

// Codes 2 (file not found) and 3 (path not found) raise CFileNotFoundError,
// for `file` when the caller names the file concerned. Any other code raises
// CError: the description alone for an empty (or null) message, else the
// message with "%ERRORDESC%" replaced by the description.
[[noreturn]] void ThrowSystemError(std::uint32_t code, const String& message = nullptr, IURI* file = nullptr);

}  // namespace lumo::win32
