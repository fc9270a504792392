// The desktop shell: deleting into the freedesktop trash, the task
// allocator, item-ID lists and the desktop folder that makes them.
#include "compat/win32/Shell.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "compat/win32/Error.h"
#include "compat/win32/FileInternal.h"
#include "compat/win32/Path.h"
#include "compat/win32/ShellFolders.h"
#include "compat/win32/ShellInternal.h"

namespace fs = std::filesystem;
using namespace compat::win32;

namespace {

// ---------------------------------------------------------------------------
// The trash

std::string PercentEncoded(const std::string& path) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char c : path) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

// The user's trash of the freedesktop desktops.
fs::path TrashFolder() { return fs::path(SpecialFolderPath(CSIDL_LOCAL_APPDATA)) / "Trash"; }

// The n-th name the trash tries for `base`: "a.txt", then "a.2.txt",
// "a.3.txt"; a name whose only dot leads it (".profile") takes the number last.
std::string TrashName(const std::string& base, int n) {
  if (n == 1) return base;
  const std::size_t dot = base.rfind('.');
  const std::size_t cut = dot == std::string::npos || dot == 0 ? base.size() : dot;
  return base.substr(0, cut) + "." + std::to_string(n) + base.substr(cut);
}

// Copies the item at `from` to the new name `to`: a file with its mode and
// times, a symbolic link as a link, a folder with everything in it. A pipe,
// device or socket is refused (ENOTSUP) unopened, so nothing waits on it.
// Answers 0 or the errno; on failure nothing it made is left, and an
// existing `to` (EEXIST) is never touched.
int CopyItem(const std::string& from, const std::string& to) {
  struct stat st;
  if (lstat(from.c_str(), &st) != 0) return errno;
  if (S_ISLNK(st.st_mode)) {
    std::string target(static_cast<std::size_t>(st.st_size) + 1, '\0');
    const ssize_t n = readlink(from.c_str(), target.data(), target.size());
    if (n < 0) return errno;
    target.resize(static_cast<std::size_t>(n));
    return symlink(target.c_str(), to.c_str()) == 0 ? 0 : errno;
  }
  if (S_ISDIR(st.st_mode)) {
    if (mkdir(to.c_str(), 0700) != 0) return errno;
    int err = 0;
    DIR* folder = opendir(from.c_str());
    if (folder == nullptr) err = errno;
    while (err == 0) {
      errno = 0;
      const dirent* entry = readdir(folder);
      if (entry == nullptr) {
        err = errno;
        break;
      }
      const std::string_view name = entry->d_name;
      if (name == "." || name == "..") continue;
      err = CopyItem(from + "/" + entry->d_name, to + "/" + entry->d_name);
    }
    if (folder != nullptr) closedir(folder);
    const timespec times[2] = {st.st_atim, st.st_mtim};
    if (err == 0 && (chmod(to.c_str(), st.st_mode & 07777) != 0 || utimensat(AT_FDCWD, to.c_str(), times, 0) != 0)) {
      err = errno;
    }
    if (err != 0) {
      std::error_code ignored;
      fs::remove_all(to, ignored);
    }
    return err;
  }
  if (!S_ISREG(st.st_mode)) return ENOTSUP;
  const struct Source {
    ~Source() {
      if (fd >= 0) close(fd);
    }
    int fd;
  } in{open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)};
  if (in.fd < 0) return errno;
  const int out = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (out < 0) return errno;
  const timespec times[2] = {st.st_atim, st.st_mtim};
  int err = CopyBytes(in.fd, out) && fchmod(out, st.st_mode & 07777) == 0 && futimens(out, times) == 0 ? 0 : errno;
  // Where the file system reports a failed write only now.
  if (close(out) != 0 && err == 0) err = errno;
  if (err != 0) unlink(to.c_str());
  return err;
}

// Claims the record `info` of a new trash entry (exclusive create, so two
// deletions never pick the same name): 0, or the errno.
int WriteTrashInfo(const fs::path& info, const std::string& absolute) {
  std::FILE* file = std::fopen(info.c_str(), "wx");
  if (!file) return errno;
  char stamp[32];
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &local);
  const std::string path = PercentEncoded(absolute);
  int err = std::fprintf(file, "[Trash Info]\nPath=%s\nDeletionDate=%s\n", path.c_str(), stamp) < 0 ? errno : 0;
  if (std::fclose(file) != 0 && err == 0) err = errno;
  if (err != 0) unlink(info.c_str());
  return err;
}

}  // namespace

namespace compat::win32 {

DWORD MoveToTrash(const std::string& item, TrashMove how) {
  std::error_code error;
  const fs::path trash = TrashFolder();
  fs::create_directories(trash / "files", error);
  if (!error) fs::create_directories(trash / "info", error);
  if (error) return ErrorFromErrno(error.value());
  std::string absolute = item;
  while (absolute.size() > 1 && absolute.ends_with('/')) absolute.pop_back();
  struct stat st;
  if (lstat(absolute.c_str(), &st) != 0) return PathError(errno, absolute);
  const bool folder = S_ISDIR(st.st_mode);
  const std::string base(LastComponent(absolute));
  for (int n = 1;; ++n) {
    const std::string name = TrashName(base, n);
    const fs::path info = trash / "info" / (name + ".trashinfo");
    const std::string target = trash / "files" / name;
    int err = WriteTrashInfo(info, absolute);
    if (err == EEXIST) continue;
    if (err != 0) return ErrorFromErrno(err);
    err = how == TrashMove::kCopy ? EXDEV : RenameNoReplace(absolute, target, folder) == 0 ? 0 : errno;
    if (err == EXDEV) {
      // Another file system: the copy lands in the trash before the original
      // goes, so the item exists somewhere at every moment.
      err = CopyItem(absolute, target);
      if (err == 0) fs::remove_all(absolute, error);
    }
    if (err == 0) return ERROR_SUCCESS;
    unlink(info.c_str());
    // A name taken in files/ alone (another program's leftover) is passed by.
    if (err != EEXIST) return ErrorFromErrno(err);
  }
}

}  // namespace compat::win32

namespace {

DWORD TrashOne(LPCWSTR name) {
  const std::optional<std::string> path = PosixPath(name);
  if (!path) return ERROR_PATH_NOT_FOUND;
  std::error_code error;
  const fs::path absolute = fs::absolute(*path, error);
  return error ? ErrorFromErrno(error.value()) : MoveToTrash(absolute.lexically_normal().string());
}

// ---------------------------------------------------------------------------
// Item-ID lists

const SHITEMID& ItemAt(const BYTE* at) { return *reinterpret_cast<const SHITEMID*>(at); }

WORD CountOf(const BYTE* at) {
  WORD cb;
  std::memcpy(&cb, at, sizeof cb);
  return cb;
}

// A new list of one item per name.
LPITEMIDLIST MakeList(const std::vector<std::u16string>& names) {
  std::size_t size = sizeof(WORD);
  for (const auto& name : names) size += sizeof(WORD) + name.size() * sizeof(char16_t);
  auto* list = static_cast<BYTE*>(CoTaskMemAlloc(size));
  if (list == nullptr) return nullptr;
  BYTE* at = list;
  for (const auto& name : names) {
    const auto cb = static_cast<WORD>(sizeof(WORD) + name.size() * sizeof(char16_t));
    std::memcpy(at, &cb, sizeof cb);
    std::memcpy(at + sizeof cb, name.data(), name.size() * sizeof(char16_t));
    at += cb;
  }
  std::memset(at, 0, sizeof(WORD));
  return reinterpret_cast<LPITEMIDLIST>(list);
}

// The drive and the names of a Windows path ("Z:\a\b" gives "Z:\", "a",
// "b"); nothing for a path that names no item of a mapped drive.
std::optional<std::vector<std::u16string>> ItemsOf(std::u16string_view path) {
  const std::optional<std::string> posix = PosixPath(path);
  if (!posix || !posix->starts_with('/')) return std::nullopt;
  const std::u16string windows = WindowsPath(*posix);
  std::vector<std::u16string> names{windows.substr(0, 2) + u"\\"};
  for (std::size_t start = 3; start < windows.size();) {
    std::size_t end = windows.find(u'\\', start);
    if (end == std::u16string::npos) end = windows.size();
    // A name longer than an item can hold names nothing.
    if (end - start > (0xFFFF - sizeof(WORD)) / sizeof(char16_t)) return std::nullopt;
    if (end > start) names.push_back(windows.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

class DesktopFolder final : public IShellFolder {
 public:
  ULONG WINAPI AddRef() override { return ++references_; }
  ULONG WINAPI Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT WINAPI ParseDisplayName(HWND /*owner*/, void* /*bindContext*/, LPWSTR displayName, ULONG* eaten,
                                  LPITEMIDLIST* list, ULONG* attributes) override {
    if (list == nullptr) return E_INVALIDARG;
    *list = nullptr;
    if (displayName == nullptr) return E_INVALIDARG;
    const std::u16string_view name(displayName);
    const auto items = ItemsOf(name);
    if (!items) return E_INVALIDARG;
    *list = MakeList(*items);
    if (*list == nullptr) return E_OUTOFMEMORY;
    if (eaten != nullptr) *eaten = static_cast<ULONG>(name.size());
    if (attributes != nullptr) *attributes = 0;
    return S_OK;
  }

 private:
  ~DesktopFolder() = default;
  std::atomic<ULONG> references_ = 1;
};

class TaskAllocator final : public IMalloc {
 public:
  ULONG WINAPI AddRef() override { return 1; }
  ULONG WINAPI Release() override { return 1; }
  LPVOID WINAPI Alloc(SIZE_T size) override { return CoTaskMemAlloc(size); }
  LPVOID WINAPI Realloc(LPVOID block, SIZE_T size) override { return CoTaskMemRealloc(block, size); }
  void WINAPI Free(LPVOID block) override { CoTaskMemFree(block); }
};

}  // namespace

int WINAPI SHFileOperationW(LPSHFILEOPSTRUCTW operation) {
  if (operation == nullptr || operation->pFrom == nullptr) return ERROR_INVALID_PARAMETER;
  operation->fAnyOperationsAborted = FALSE;
  if (operation->wFunc != FO_DELETE || !(operation->fFlags & FOF_ALLOWUNDO)) return ERROR_NOT_SUPPORTED;
  for (LPCWSTR name = operation->pFrom; *name != 0; name += std::char_traits<char16_t>::length(name) + 1) {
    if (const DWORD error = TrashOne(name)) return static_cast<int>(error);
  }
  return 0;
}

LPVOID WINAPI CoTaskMemAlloc(SIZE_T size) { return std::malloc(size == 0 ? 1 : size); }
LPVOID WINAPI CoTaskMemRealloc(LPVOID block, SIZE_T size) { return std::realloc(block, size == 0 ? 1 : size); }
void WINAPI CoTaskMemFree(LPVOID block) { std::free(block); }

HRESULT WINAPI SHGetMalloc(IMalloc** allocator) {
  if (allocator == nullptr) return E_INVALIDARG;
  static TaskAllocator theAllocator;
  *allocator = &theAllocator;
  return S_OK;
}

LPITEMIDLIST WINAPI ILGetNext(LPCITEMIDLIST list) {
  if (list == nullptr) return nullptr;
  const auto* at = reinterpret_cast<const BYTE*>(list);
  const WORD cb = CountOf(at);
  return cb == 0 ? nullptr : reinterpret_cast<LPITEMIDLIST>(const_cast<BYTE*>(at + cb));
}

LPITEMIDLIST WINAPI ILFindLastID(LPCITEMIDLIST list) {
  if (list == nullptr) return nullptr;
  auto* last = const_cast<LPITEMIDLIST>(list);
  for (LPITEMIDLIST next = ILGetNext(last); next != nullptr && CountOf(reinterpret_cast<BYTE*>(next)) != 0;
       next = ILGetNext(next)) {
    last = next;
  }
  return last;
}

UINT WINAPI ILGetSize(LPCITEMIDLIST list) {
  if (list == nullptr) return 0;
  const auto* at = reinterpret_cast<const BYTE*>(list);
  UINT size = sizeof(WORD);
  for (WORD cb = CountOf(at); cb != 0; cb = CountOf(at)) {
    size += cb;
    at += cb;
  }
  return size;
}

LPITEMIDLIST WINAPI ILClone(LPCITEMIDLIST list) {
  if (list == nullptr) return nullptr;
  const UINT size = ILGetSize(list);
  void* copy = CoTaskMemAlloc(size);
  if (copy != nullptr) std::memcpy(copy, list, size);
  return static_cast<LPITEMIDLIST>(copy);
}

LPITEMIDLIST WINAPI ILCombine(LPCITEMIDLIST first, LPCITEMIDLIST second) {
  if (first == nullptr) return ILClone(second);
  if (second == nullptr) return ILClone(first);
  const UINT head = ILGetSize(first) - sizeof(WORD);
  const UINT tail = ILGetSize(second);
  auto* combined = static_cast<BYTE*>(CoTaskMemAlloc(head + tail));
  if (combined == nullptr) return nullptr;
  std::memcpy(combined, first, head);
  std::memcpy(combined + head, second, tail);
  return reinterpret_cast<LPITEMIDLIST>(combined);
}

void WINAPI ILFree(LPITEMIDLIST list) { CoTaskMemFree(list); }

HRESULT WINAPI SHGetDesktopFolder(IShellFolder** folder) {
  if (folder == nullptr) return E_INVALIDARG;
  *folder = new DesktopFolder;
  return S_OK;
}

BOOL WINAPI SHGetPathFromIDListW(LPCITEMIDLIST list, LPWSTR path) {
  if (path == nullptr) return Fail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
  path[0] = 0;
  if (list == nullptr) return Fail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
  std::u16string result;
  const auto* at = reinterpret_cast<const BYTE*>(list);
  if (CountOf(at) == 0) result = WindowsPath(SpecialFolderPath(CSIDL_DESKTOP));
  for (WORD cb = CountOf(at); cb != 0; at += cb, cb = CountOf(at)) {
    if (cb < sizeof(WORD) + sizeof(char16_t) || cb % sizeof(char16_t) != 0) return FALSE;
    std::u16string name((cb - sizeof(WORD)) / sizeof(char16_t), u'\0');
    std::memcpy(name.data(), ItemAt(at).abID, name.size() * sizeof(char16_t));
    const bool drive = result.empty();
    // The first item is a drive root, every other a name without separators.
    if (drive ? !(name.size() == 3 && name[1] == u':' && name[2] == u'\\')
              : name.find_first_of(std::u16string_view(u"\\/\0", 3)) != std::u16string::npos) {
      return FALSE;
    }
    if (!drive && !result.ends_with(u'\\')) result += u'\\';
    result += name;
  }
  if (result.size() >= MAX_PATH) return FALSE;
  std::memcpy(path, result.c_str(), (result.size() + 1) * sizeof(char16_t));
  return TRUE;
}

HRESULT WINAPI SHGetSpecialFolderLocation(HWND /*owner*/, int folder, LPITEMIDLIST* list) {
  if (list == nullptr) return E_INVALIDARG;
  *list = nullptr;
  std::optional<std::vector<std::u16string>> items;
  if (folder == CSIDL_DESKTOP) {
    items.emplace();
  } else if (const std::string path = SpecialFolderPath(folder); !path.empty()) {
    items = ItemsOf(WindowsPath(path));
  }
  if (!items) return E_INVALIDARG;
  *list = MakeList(*items);
  return *list != nullptr ? S_OK : E_OUTOFMEMORY;
}
