#include "platform/win32/SystemError.h"

#include "compat/win32/Error.h"
#include "foundation/CString.h"
#include "foundation/Exception.h"

namespace lumo::win32 {

String DescribeSystemError(std::uint32_t code) {
  WCHAR buffer[1024];
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                      0, buffer, static_cast<DWORD>(std::size(buffer)), nullptr);
  std::int32_t end = static_cast<std::int32_t>(length);
  if (end >= 2 && buffer[end - 2] == u'\r' && buffer[end - 1] == u'\n') {
    end -= 2;
  } else if (end >= 1 && buffer[end - 1] == u'\n') {
    end -= 1;
  }
  return make<CWCharString>(buffer, 2 * end);
}

void ThrowSystemError(std::uint32_t code, const String& message, IURI* file) {
  if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
    if (file) throw CFileNotFoundError(file);
    throw CFileNotFoundError();
  }
  const String description = DescribeSystemError(code);
  if (message.isNull() || message.isEmpty()) throw CError(description);
  throw CError(message.replace("%ERRORDESC%", description));
}

}  // namespace lumo::win32
