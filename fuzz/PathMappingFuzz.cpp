// Drives the mapping of Windows paths to POSIX paths over arbitrary bytes,
// read as file names are. It must never crash; every byte string reads and
// writes back byte for byte; a full path maps to a normalised POSIX path;
// mapping that path again, in its POSIX or its Windows form, changes nothing;
// and the parent folder and last component split it where its last slash is.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "compat/win32/Path.h"
#include "compat/win32/Utf8.h"

namespace {

void Check(bool condition, const char* what, const std::string& path) {
  if (!condition) {
    std::fprintf(stderr, "%s: %s\n", what, path.c_str());
    std::abort();
  }
}

bool IsNormalised(const std::string& path) {
  if (path.empty() || path[0] != '/') return false;
  for (std::size_t at = 1; at <= path.size();) {
    std::size_t end = path.find('/', at);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(at, end - at);
    // Only a trailing slash may leave an empty part.
    if ((part.empty() && end != path.size()) || part == "." || part == "..") return false;
    at = end + 1;
  }
  return true;
}

void CheckPosix(const std::string& posix) {
  using namespace compat::win32;
  const std::string parent = ParentFolder(posix);
  const std::string_view last = LastComponent(posix);
  Check(last.find('/') == std::string_view::npos || last == "/", "last component holds a slash", posix);
  Check(parent == "." || parent == "/" || posix.rfind(parent + "/", 0) == 0, "parent is not a prefix", posix);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace compat::win32;
  if (size > 4096) return 0;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::u16string windows = FileNameToUtf16(bytes);
  Check(Utf16ToFileName(windows) == bytes, "file name does not read back to its bytes", bytes);
  const std::optional<std::string> posix = PosixPath(windows);
  if (!posix) return 0;
  Check(posix == PosixPath(windows), "mapping is not stable", *posix);
  CheckPosix(*posix);
  const bool verbatim = windows.size() >= 4 && windows[2] == u'?';
  if ((*posix)[0] != '/' || verbatim || posix->find('\0') != std::string::npos) return 0;
  Check(IsNormalised(*posix), "full path is not normalised", *posix);
  // A POSIX full path names itself, and so does its Windows form.
  Check(PosixPath(FileNameToUtf16(*posix)) == posix, "mapping a POSIX path changes it", *posix);
  const std::u16string back = WindowsPath(*posix);
  Check(back.rfind(u"Z:\\", 0) == 0 && back.find(u'/') == std::u16string::npos, "Windows form is not on Z:", *posix);
  Check(PosixPath(back) == posix, "mapping the Windows form changes the path", *posix);
  return 0;
}
