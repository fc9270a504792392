#include "platform/win32/SystemServices.h"

#include "compat/win32/Version.h"
#include "foundation/CString.h"
#include "foundation/Exception.h"
#include "foundation/ICharEncoding.h"

namespace lumo::win32 {

namespace {
// From this length on, the classic path functions of the system fail.
constexpr std::int32_t kLongPath = 240;
}  // namespace

bool IsSystemVersionAtLeast(std::int32_t ntMajor, std::int32_t ntMinor, std::int32_t otherMajor,
                            std::int32_t otherMinor) {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExW(&info)) return false;
  const bool nt = info.dwPlatformId == VER_PLATFORM_WIN32_NT;
  const std::int64_t major = nt ? ntMajor : otherMajor;
  const std::int64_t minor = nt ? ntMinor : otherMinor;
  if (major < 0) return false;
  return info.dwMajorVersion > major || (info.dwMajorVersion == major && info.dwMinorVersion >= minor);
}

String ToWindowsPath(const IURI* uri, bool keepOtherSchemes) {
  if (!uri || uri->getText().isEmpty()) return "";
  if (uri->hasScheme() && !uri->getScheme().equalsNoCase("file")) return keepOtherSchemes ? uri->getText() : "";
  String path = uri->getPath();
  if (path.isNull()) path = "";
  if (path.startsWith("/")) path = path.slice(1);
  const String host = uri->getHost();
  if (!host.isEmpty()) path = "\\\\" + host + "\\" + path;
  path = path.replace("/", "\\");
  if (path.length() < kLongPath) return path;
  if (IsSystemVersionAtLeast(0, 0, -1, -1)) {
    if (path.startsWith("\\\\")) return "\\\\?\\UNC\\" + path.slice(2);
    if (path->charAt(1) == ':') return "\\\\?\\" + path;
  }
  throw CError("Error: Windows path is longer than MAX_PATH and the limit cannot be circumvented (path='" + path +
               "').");
}

std::u16string ToUTF16(const String& text) {
  // Latin-1 units are the first 256 UTF-16 units: widened one by one (the
  // registry's value names, mostly).
  if (text->hasEncoding(kLatin1EncodingId)) {
    const std::uint8_t* bytes = text->data();
    return std::u16string(bytes, bytes + text->byteLength());
  }
  const String utf16 =
      text->hasEncoding(kUTF16EncodingId) ? text : CString::convert(*text, GetUTF16CharEncoding());
  return std::u16string(reinterpret_cast<const char16_t*>(utf16->data()),
                        static_cast<std::size_t>(utf16->byteLength()) / 2);
}

}  // namespace lumo::win32
