// Folder services of the settings store.
#include "settings/lapp/Folders.h"

#include <atomic>
#include <chrono>

#include "compat/win32/Error.h"
#include "compat/win32/File.h"
#include "compat/win32/Process.h"

namespace lapp {
namespace {

// Eight upper-case hexadecimal digits, as the system's unique names carry.
std::u16string Hex8(std::uint32_t value) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string text(8, u'0');
  for (int i = 7; i >= 0; --i, value >>= 4) text[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
  return text;
}

// 32 bits that change all over for any change of `seed` (the splitmix64
// finalizer): names from one clock reading and a counter do not follow
// each other.
std::uint32_t Mixed(std::uint64_t seed) {
  std::uint64_t z = seed + 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return static_cast<std::uint32_t>((z ^ (z >> 31)) >> 32);
}

}  // namespace

std::u16string WithBackslash(std::u16string path) {
  if (!path.empty() && path.back() != u'\\' && path.back() != u'/') path += u'\\';
  return path;
}

std::u16string CreateUniqueFolder(const std::u16string& parent, std::u16string_view prefix,
                                  std::u16string_view suffix) {
  static std::atomic<std::uint32_t> counter{0};
  const std::u16string base = WithBackslash(parent);
  const auto now = static_cast<std::uint64_t>(
      std::chrono::steady_clock::now().time_since_epoch().count());
  for (int attempt = 0; attempt < 10000; ++attempt) {
    const std::uint64_t seed = (now ^ (static_cast<std::uint64_t>(GetCurrentProcessId()) << 32)) + counter++;
    std::u16string path = base;
    path += prefix;
    path += Hex8(Mixed(seed));
    path += suffix;
    if (CreateDirectoryW(path.c_str(), nullptr)) return path;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return {};
  }
  return {};
}

bool CreateFolderWithParents(const std::u16string& path) {
  if (path.empty()) return false;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  std::u16string trimmed = path;
  while (trimmed.size() > 1 && (trimmed.back() == u'\\' || trimmed.back() == u'/')) trimmed.pop_back();
  const std::size_t cut = trimmed.find_last_of(u"\\/");
  if (cut != std::u16string::npos && cut > 0) {
    const std::u16string parent = trimmed.substr(0, cut);
    // A drive root ("Z:") has no parent to create.
    if (!(parent.size() == 2 && parent[1] == u':')) CreateFolderWithParents(parent);
  }
  return CreateDirectoryW(trimmed.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

void DeleteFolder(const std::u16string& folder) {
  const std::u16string base = WithBackslash(folder);
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((base + u"*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::u16string name = entry.cFileName;
      if (name == u"." || name == u"..") continue;
      const std::u16string path = base + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        DeleteFolder(path);
      } else {
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryW(folder.c_str());
}

std::u16string SystemTempFolder() {
  char16_t buffer[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
  if (length == 0 || length > MAX_PATH) return u"Z:\\tmp\\";
  return std::u16string(buffer, length);
}

std::vector<std::u16string> ListFilesBelow(const std::u16string& folder) {
  std::vector<std::u16string> files;
  std::vector<std::u16string> pending{WithBackslash(folder)};
  while (!pending.empty()) {
    const std::u16string base = std::move(pending.back());
    pending.pop_back();
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((base + u"*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) continue;
    do {
      const std::u16string name = entry.cFileName;
      if (name == u"." || name == u"..") continue;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        pending.push_back(base + name + u"\\");
      } else {
        files.push_back(base + name);
      }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  return files;
}

bool FileExists(const std::u16string& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool FolderExists(const std::u16string& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace lapp
