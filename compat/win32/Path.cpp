// Windows paths and the POSIX paths they name.
#include "compat/win32/Path.h"

#include <algorithm>
#include <vector>

#include "compat/win32/Utf8.h"

namespace compat::win32 {
namespace {

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

bool IsDriveLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// Windows resolves "." and ".." in a full path by its text alone, and ".."
// stops at the root.
std::string Normalize(std::string_view path) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view part = path.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string result;
  for (std::string_view part : parts) {
    result += '/';
    result += part;
  }
  if (result.empty() || (path.size() > 1 && path.back() == '/')) result += '/';
  return result;
}

}  // namespace

std::optional<std::string> PosixPath(std::u16string_view path) {
  bool verbatim = false;
  if (path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[1]) && (path[2] == u'?' || path[2] == u'.') &&
      IsSeparator(path[3])) {
    // "\\?\" takes the rest as it stands; "\\.\" is the device space, where
    // only a drive leads anywhere here.
    verbatim = path[2] == u'?';
    path.remove_prefix(4);
    if (!(path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == u':')) return std::nullopt;
  } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    return std::nullopt;  // a network host
  }
  if (path.empty()) return std::nullopt;
  if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == u':') {
    if (path[0] != u'Z' && path[0] != u'z') return std::nullopt;
    path.remove_prefix(2);
    // "Z:name" is relative to the current folder, which is on drive Z:.
    if (path.empty()) return std::string(".");
  }
  std::string result = Utf16ToFileName(path);
  std::replace(result.begin(), result.end(), '\\', '/');
  if (result[0] == '/' && !verbatim) return Normalize(result);
  return result;
}

std::u16string WindowsPath(std::string_view posixPath) {
  std::u16string result = FileNameToUtf16(posixPath);
  std::replace(result.begin(), result.end(), u'/', u'\\');
  if (!posixPath.empty() && posixPath[0] == '/') result.insert(0, u"Z:");
  return result;
}

std::string_view LastComponent(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string ParentFolder(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return ".";
  return slash == 0 ? std::string("/") : std::string(path.substr(0, slash));
}

}  // namespace compat::win32
