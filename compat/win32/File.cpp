// Files and folders over POSIX, with Windows paths, share modes and searches.
//
// Every open file of the process is listed by its device and inode with the
// access and sharing of each handle on it, so that a second open that Windows
// would refuse fails with ERROR_SHARING_VIOLATION, and a file opened for
// delete-on-close goes when the last handle on it closes.
//
// File names are UTF-8 on disk whatever the locale, as desktop Linux keeps
// them; a name that is not valid UTF-8 shows U+FFFD in its Windows form.
#include "compat/win32/File.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <type_traits>
#include <vector>

#include "compat/win32/Error.h"
#include "compat/win32/Handle.h"
#include "compat/win32/RegistryHive.h"
#include "compat/win32/StringConv.h"

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

// ---------------------------------------------------------------------------
// Errors and attributes

std::string ParentOf(const std::string& path) {
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  const std::size_t slash = trimmed.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : trimmed.substr(0, slash);
}

std::string_view LastComponent(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Windows tells a missing file (2) from a missing folder on the way to it (3).
DWORD PathError(int err, const std::string& path) {
  bool missingFolder = false;
  if (err == ENOENT) {
    struct stat st;
    const std::string parent = ParentOf(path);
    missingFolder = stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode);
  }
  return ErrorFromErrno(err, missingFolder);
}

// The read-only attribute is the absence of write permission: no write bit at
// all (which holds even for the superuser), or none for this user.
bool IsReadOnly(const struct stat& st, const std::string& path) {
  return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(path.c_str(), W_OK) != 0;
}

// Folders are directories; a name beginning with a dot is hidden; a regular
// file carries the archive bit, as files written on Windows do; anything else
// without attributes is "normal".
DWORD AttributesOf(const struct stat& st, const std::string& path) {
  DWORD attributes = 0;
  if (S_ISDIR(st.st_mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
  if (IsReadOnly(st, path)) attributes |= FILE_ATTRIBUTE_READONLY;
  const std::string_view name = LastComponent(path);
  if (name.size() > 1 && name[0] == '.' && name != "..") attributes |= FILE_ATTRIBUTE_HIDDEN;
  if (S_ISREG(st.st_mode)) attributes |= FILE_ATTRIBUTE_ARCHIVE;
  return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

FILETIME FileTimeOf(const struct timespec& time) {
  // 100-nanosecond steps since 1601-01-01.
  constexpr std::int64_t kEpochDifference = 11644473600;
  const std::uint64_t ticks = static_cast<std::uint64_t>((time.tv_sec + kEpochDifference) * 10000000 +
                                                         time.tv_nsec / 100);
  return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// ---------------------------------------------------------------------------
// Open files and share modes

struct FileId {
  dev_t device;
  ino_t inode;
  bool operator<(const FileId& other) const {
    return device != other.device ? device < other.device : inode < other.inode;
  }
};

// What one handle asks of a file and what it lets others do.
struct Sharing {
  bool read = false;
  bool write = false;
  bool remove = false;
  DWORD share = 0;

  bool HasAccess() const { return read || write || remove; }
  // Windows' rule, both ways round; handles with no data access take no part.
  bool ConflictsWith(const Sharing& other) const {
    if (!HasAccess() || !other.HasAccess()) return false;
    return (read && !(other.share & FILE_SHARE_READ)) || (write && !(other.share & FILE_SHARE_WRITE)) ||
           (remove && !(other.share & FILE_SHARE_DELETE)) || (other.read && !(share & FILE_SHARE_READ)) ||
           (other.write && !(share & FILE_SHARE_WRITE)) || (other.remove && !(share & FILE_SHARE_DELETE));
  }
};

struct OpenFile {
  std::vector<const Sharing*> handles;
  bool deleteOnClose = false;
  std::string path;  // where to delete it from
};

struct OpenFiles {
  std::mutex lock;
  std::map<FileId, OpenFile> files;

  bool Conflicts(const FileId& id, const Sharing& sharing) {
    const auto found = files.find(id);
    if (found == files.end()) return false;
    return std::any_of(found->second.handles.begin(), found->second.handles.end(),
                       [&](const Sharing* other) { return sharing.ConflictsWith(*other); });
  }
};

OpenFiles& Files() {
  static OpenFiles* files = new OpenFiles;
  return *files;
}

class FileObject final : public KernelObject {
 public:
  FileObject(int fd, FileId id, Sharing sharing) : fd_(fd), id_(id), sharing_(sharing) {}
  ~FileObject() override {
    close(fd_);
    OpenFiles& files = Files();
    std::lock_guard guard(files.lock);
    const auto found = files.files.find(id_);
    if (found == files.files.end()) return;
    std::erase(found->second.handles, &sharing_);
    if (!found->second.handles.empty()) return;
    // The last handle on the file: a pending delete happens now, provided the
    // name still leads to this file.
    struct stat st;
    const std::string& path = found->second.path;
    if (found->second.deleteOnClose && stat(path.c_str(), &st) == 0 && st.st_dev == id_.device &&
        st.st_ino == id_.inode) {
      unlink(path.c_str());
    }
    files.files.erase(found);
  }

  // Called once, under the open-file lock, when the handle is created.
  void Register(OpenFiles& files, const std::string& path) {
    OpenFile& file = files.files[id_];
    file.handles.push_back(&sharing_);
    if (sharing_.remove) {
      file.deleteOnClose = true;
      file.path = path;
    }
  }

  int fd() const { return fd_; }
  const Sharing& sharing() const { return sharing_; }

 private:
  int fd_;
  FileId id_;
  Sharing sharing_;
};

// ---------------------------------------------------------------------------
// Searches

struct FoundEntry {
  std::u16string name;
  DWORD attributes;
  std::uint64_t size;
  FILETIME created, accessed, written;
};

class FindObject final : public KernelObject {
 public:
  explicit FindObject(std::vector<FoundEntry> entries) : entries_(std::move(entries)) {}
  // Fills `data` with the next entry; false at the end.
  bool Next(WIN32_FIND_DATAW& data) {
    std::lock_guard guard(lock_);
    if (next_ == entries_.size()) return false;
    const FoundEntry& entry = entries_[next_++];
    std::memset(&data, 0, sizeof data);
    data.dwFileAttributes = entry.attributes;
    data.ftCreationTime = entry.created;
    data.ftLastAccessTime = entry.accessed;
    data.ftLastWriteTime = entry.written;
    data.nFileSizeHigh = static_cast<DWORD>(entry.size >> 32);
    data.nFileSizeLow = static_cast<DWORD>(entry.size);
    const std::size_t n = std::min<std::size_t>(entry.name.size(), MAX_PATH - 1);
    std::memcpy(data.cFileName, entry.name.data(), n * sizeof(WCHAR));
    return true;
  }

 private:
  std::mutex lock_;
  std::vector<FoundEntry> entries_;
  std::size_t next_ = 0;
};

// "*" is any run, "?" one character; a pattern ending in ".*" also matches
// without the dot ("*.*" is everything, "readme.*" finds "readme"). Both
// sides come upper-cased.
bool WildcardMatch(std::u16string_view pattern, std::u16string_view name) {
  std::size_t p = 0, n = 0, starP = std::u16string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == u'*') {
      starP = p++;
      starN = n;
    } else if (starP != std::u16string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  if (p == pattern.size()) return true;
  return pattern.substr(p) == u".*";
}

// The entries of `folder` whose names match `pattern`, as Windows lists them:
// "." and ".." first (not in the root, which has neither), then by name
// without case.
std::vector<FoundEntry> Search(const std::string& folder, std::u16string_view pattern, DWORD& error) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) {
    error = errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno);
    return {};
  }
  const auto entryOf = [&](std::string_view name, std::u16string wide, FoundEntry& item) {
    const std::string path = (folder.back() == '/' ? folder : folder + "/") + std::string(name);
    struct stat st;
    if (stat(path.c_str(), &st) != 0 && lstat(path.c_str(), &st) != 0) return false;  // gone meanwhile
    item = FoundEntry{std::move(wide), AttributesOf(st, path),
                      S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size), FileTimeOf(st.st_mtim),
                      FileTimeOf(st.st_atim), FileTimeOf(st.st_mtim)};
    return true;
  };
  // A plain name that exists as written needs no listing.
  if (pattern.find_first_of(u"*?") == std::u16string_view::npos && pattern != u"." && pattern != u"..") {
    FoundEntry item;
    if (entryOf(Utf16ToUtf8(pattern), std::u16string(pattern), item)) {
      closedir(dir);
      return {std::move(item)};
    }
  }
  char resolved[PATH_MAX];
  const bool isRoot = realpath(folder.c_str(), resolved) != nullptr && std::strcmp(resolved, "/") == 0;
  const std::u16string foldedPattern = registry::FoldName(pattern);
  std::vector<std::pair<std::u16string, FoundEntry>> found;  // by sort key
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    const bool dots = name == "." || name == "..";
    if (dots && isRoot) continue;
    const std::u16string wide = Utf8ToUtf16(name);
    std::u16string folded = registry::FoldName(wide);
    if (!WildcardMatch(foldedPattern, folded)) continue;
    FoundEntry item;
    if (!entryOf(name, wide, item)) continue;
    // "." and ".." sort before every name.
    found.emplace_back((dots ? u"\x01" : u"\x02") + folded + u'\0' + item.name, std::move(item));
  }
  closedir(dir);
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<FoundEntry> entries;
  entries.reserve(found.size());
  for (auto& [key, entry] : found) entries.push_back(std::move(entry));
  if (entries.empty()) error = ERROR_FILE_NOT_FOUND;
  return entries;
}

bool IsFind(const KernelObject& object) { return dynamic_cast<const FindObject*>(&object) != nullptr; }

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
  std::string result = Utf16ToUtf8(path);
  std::replace(result.begin(), result.end(), '\\', '/');
  if (result[0] == '/' && !verbatim) return Normalize(result);
  return result;
}

std::u16string WindowsPath(std::string_view posixPath) {
  std::u16string result = Utf8ToUtf16(posixPath);
  std::replace(result.begin(), result.end(), u'/', u'\\');
  if (!posixPath.empty() && posixPath[0] == '/') result.insert(0, u"Z:");
  return result;
}

}  // namespace compat::win32

using namespace compat::win32;

namespace {

// The POSIX path for a caller's path, or the Windows error for one that leads
// nowhere (a missing name, another drive, a network host).
std::optional<std::string> MapPath(LPCWSTR path) {
  if (path == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return std::nullopt;
  }
  std::optional<std::string> result = PosixPath(path);
  if (!result) SetLastError(ERROR_PATH_NOT_FOUND);
  return result;
}

template <class T>
T Fail(DWORD error, T result) {
  SetLastError(error);
  return result;
}

std::shared_ptr<FileObject> FileOf(HANDLE handle) { return ObjectOfHandle<FileObject>(handle); }

}  // namespace

DWORD WINAPI GetFileAttributesW(LPCWSTR fileName) {
  const std::optional<std::string> path = MapPath(fileName);
  if (!path) return INVALID_FILE_ATTRIBUTES;
  struct stat st;
  if (stat(path->c_str(), &st) != 0) return Fail(PathError(errno, *path), INVALID_FILE_ATTRIBUTES);
  return AttributesOf(st, *path);
}

BOOL WINAPI DeleteFileW(LPCWSTR fileName) {
  const std::optional<std::string> path = MapPath(fileName);
  if (!path) return FALSE;
  struct stat st;
  if (lstat(path->c_str(), &st) != 0) return Fail(PathError(errno, *path), FALSE);
  // Windows deletes neither folders, devices nor read-only files.
  if (!(S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) || (S_ISREG(st.st_mode) && IsReadOnly(st, *path))) {
    return Fail<BOOL>(ERROR_ACCESS_DENIED, FALSE);
  }
  OpenFiles& files = Files();
  std::lock_guard guard(files.lock);
  // A handle open on the file without FILE_SHARE_DELETE forbids deleting it.
  Sharing deleting;
  deleting.remove = true;
  deleting.share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  if (S_ISREG(st.st_mode) && files.Conflicts({st.st_dev, st.st_ino}, deleting)) {
    return Fail<BOOL>(ERROR_SHARING_VIOLATION, FALSE);
  }
  if (unlink(path->c_str()) != 0) return Fail(PathError(errno, *path), FALSE);
  return TRUE;
}

BOOL WINAPI CreateDirectoryW(LPCWSTR pathName, LPSECURITY_ATTRIBUTES /*security*/) {
  const std::optional<std::string> path = MapPath(pathName);
  if (!path) return FALSE;
  if (mkdir(path->c_str(), 0777) != 0) return Fail(ErrorFromErrno(errno, errno == ENOENT), FALSE);
  return TRUE;
}

BOOL WINAPI RemoveDirectoryW(LPCWSTR pathName) {
  const std::optional<std::string> path = MapPath(pathName);
  if (!path) return FALSE;
  struct stat st;
  if (lstat(path->c_str(), &st) != 0) return Fail(PathError(errno, *path), FALSE);
  if (!S_ISDIR(st.st_mode)) return Fail<BOOL>(ERROR_DIRECTORY, FALSE);
  if (rmdir(path->c_str()) != 0) return Fail(PathError(errno, *path), FALSE);
  return TRUE;
}

HANDLE WINAPI CreateFileW(LPCWSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES /*security*/,
                          DWORD creation, DWORD flags, HANDLE /*templateFile*/) {
  Sharing sharing;
  sharing.read = (access & GENERIC_READ) != 0;
  sharing.write = (access & GENERIC_WRITE) != 0;
  sharing.remove = (flags & FILE_FLAG_DELETE_ON_CLOSE) != 0;
  sharing.share = shareMode;
  const bool truncates = creation == CREATE_ALWAYS || creation == TRUNCATE_EXISTING;
  if (creation < CREATE_NEW || creation > TRUNCATE_EXISTING || (creation == TRUNCATE_EXISTING && !sharing.write)) {
    return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  }
  const std::optional<std::string> path = MapPath(fileName);
  if (!path) return INVALID_HANDLE_VALUE;

  // A handle for no data access only looks at the file, so it needs no
  // permission to read it.
  const bool mayCreate = creation == CREATE_NEW || creation == CREATE_ALWAYS || creation == OPEN_ALWAYS;
  // Non-blocking for the open only: a FIFO then opens without waiting for
  // its other end.
  int openFlags = O_CLOEXEC | O_NONBLOCK;
  if (sharing.read && sharing.write) {
    openFlags |= O_RDWR;
  } else if (sharing.write) {
    openFlags |= O_WRONLY;
  } else if (!sharing.read && !mayCreate) {
    openFlags |= O_PATH;
  }
  const mode_t mode = (flags & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;

  OpenFiles& files = Files();
  std::lock_guard guard(files.lock);
  int fd = -1;
  bool existed = false;
  if (creation == CREATE_NEW) {
    fd = open(path->c_str(), openFlags | O_CREAT | O_EXCL, mode);
  } else {
    // Open first and create only what is missing, so that whether the file
    // existed is known for certain even when someone creates it meanwhile.
    for (int attempt = 0; fd < 0 && attempt < 8; ++attempt) {
      fd = open(path->c_str(), openFlags);
      existed = fd >= 0;
      if (fd >= 0 || errno != ENOENT || !mayCreate) break;
      fd = open(path->c_str(), openFlags | O_CREAT | O_EXCL, mode);
      if (fd < 0 && errno != EEXIST) break;
    }
  }
  if (fd < 0) {
    DWORD error = PathError(errno, *path);
    if (error == ERROR_ALREADY_EXISTS) error = ERROR_FILE_EXISTS;  // what CREATE_NEW reports
    return Fail(error, INVALID_HANDLE_VALUE);
  }
  auto refuse = [&](DWORD error) {
    close(fd);
    return Fail(error, INVALID_HANDLE_VALUE);
  };
  struct stat st;
  if (fstat(fd, &st) != 0) return refuse(ErrorFromErrno(errno));
  if (S_ISDIR(st.st_mode)) return refuse(ERROR_ACCESS_DENIED);
  if (!(openFlags & O_PATH) && fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    return refuse(ErrorFromErrno(errno));
  }
  const FileId id{st.st_dev, st.st_ino};
  if (files.Conflicts(id, sharing)) return refuse(ERROR_SHARING_VIOLATION);
  if (existed && (sharing.write || sharing.remove) && IsReadOnly(st, *path)) return refuse(ERROR_ACCESS_DENIED);
  if (existed && truncates && ftruncate(fd, 0) != 0) return refuse(ErrorFromErrno(errno));

  auto file = std::make_shared<FileObject>(fd, id, sharing);
  file->Register(files, *path);
  HANDLE handle = InsertHandle(std::move(file));
  // Creating over an existing file succeeds with a note.
  SetLastError(existed && (creation == CREATE_ALWAYS || creation == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                   : ERROR_SUCCESS);
  return handle;
}

namespace {

// ReadFile and WriteFile: the checks, then one transfer after another until
// all is done; only a read stops short, at the end of the file.
template <bool Reading, class Buffer>
BOOL Transfer(HANDLE handle, Buffer buffer, DWORD size, LPDWORD done, void* overlapped) {
  const auto file = FileOf(handle);
  if (!file) return Fail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
  if (overlapped != nullptr || done == nullptr || (buffer == nullptr && size != 0)) {
    return Fail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
  }
  *done = 0;
  if (!(Reading ? file->sharing().read : file->sharing().write)) return Fail<BOOL>(ERROR_ACCESS_DENIED, FALSE);
  using Bytes = std::conditional_t<Reading, char*, const char*>;
  const Bytes bytes = static_cast<Bytes>(buffer);
  while (*done < size) {
    ssize_t n;
    if constexpr (Reading) {
      n = ::read(file->fd(), bytes + *done, size - *done);
    } else {
      n = ::write(file->fd(), bytes + *done, size - *done);
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Fail<BOOL>(ErrorFromErrno(errno), FALSE);
    if (n == 0) break;
    *done += static_cast<DWORD>(n);
  }
  return TRUE;
}

}  // namespace

BOOL WINAPI ReadFile(HANDLE handle, LPVOID buffer, DWORD toRead, LPDWORD read, void* overlapped) {
  return Transfer<true>(handle, buffer, toRead, read, overlapped);
}

BOOL WINAPI WriteFile(HANDLE handle, LPCVOID buffer, DWORD toWrite, LPDWORD written, void* overlapped) {
  return Transfer<false>(handle, buffer, toWrite, written, overlapped);
}

BOOL WINAPI GetFileSizeEx(HANDLE handle, PLARGE_INTEGER size) {
  const auto file = FileOf(handle);
  if (!file) return Fail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
  if (size == nullptr) return Fail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
  struct stat st;
  if (fstat(file->fd(), &st) != 0) return Fail<BOOL>(ErrorFromErrno(errno), FALSE);
  size->QuadPart = st.st_size;
  return TRUE;
}

DWORD WINAPI GetFileType(HANDLE handle) {
  const auto file = FileOf(handle);
  if (!file) return Fail<DWORD>(ERROR_INVALID_HANDLE, FILE_TYPE_UNKNOWN);
  struct stat st;
  if (fstat(file->fd(), &st) != 0) return Fail<DWORD>(ErrorFromErrno(errno), FILE_TYPE_UNKNOWN);
  SetLastError(ERROR_SUCCESS);
  if (S_ISREG(st.st_mode)) return FILE_TYPE_DISK;
  if (S_ISCHR(st.st_mode)) return FILE_TYPE_CHAR;
  if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return FILE_TYPE_PIPE;
  return FILE_TYPE_UNKNOWN;
}

DWORD WINAPI GetFileSize(HANDLE handle, LPDWORD sizeHigh) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(handle, &size)) return INVALID_FILE_SIZE;
  if (sizeHigh != nullptr) *sizeHigh = static_cast<DWORD>(size.u.HighPart);
  // A size whose low part is all ones is told from failure by the code.
  SetLastError(ERROR_SUCCESS);
  return size.u.LowPart;
}

BOOL WINAPI SetFilePointerEx(HANDLE handle, LARGE_INTEGER distance, PLARGE_INTEGER newPosition, DWORD moveMethod) {
  const auto file = FileOf(handle);
  if (!file) return Fail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
  off_t base = 0;
  if (moveMethod == FILE_CURRENT) {
    base = lseek(file->fd(), 0, SEEK_CUR);
  } else if (moveMethod == FILE_END) {
    base = lseek(file->fd(), 0, SEEK_END);
  } else if (moveMethod != FILE_BEGIN) {
    return Fail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
  }
  if (base < 0) return Fail<BOOL>(ErrorFromErrno(errno), FALSE);
  off_t target;
  if (__builtin_add_overflow(base, distance.QuadPart, &target)) return Fail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
  if (target < 0) return Fail<BOOL>(ERROR_NEGATIVE_SEEK, FALSE);
  if (lseek(file->fd(), target, SEEK_SET) < 0) return Fail<BOOL>(ErrorFromErrno(errno), FALSE);
  if (newPosition != nullptr) newPosition->QuadPart = target;
  return TRUE;
}

DWORD WINAPI GetTempPathW(DWORD size, LPWSTR buffer) {
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp";
  if (folder.back() != '/') folder += '/';
  const std::u16string path = WindowsPath(folder);
  // Too small a buffer is left alone; the answer is the size it needs.
  if (buffer == nullptr || size <= path.size()) return static_cast<DWORD>(path.size() + 1);
  std::memcpy(buffer, path.data(), path.size() * sizeof(WCHAR));
  buffer[path.size()] = 0;
  return static_cast<DWORD>(path.size());
}

HANDLE WINAPI FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data) {
  if (pattern == nullptr || data == nullptr) return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  const std::u16string_view text(pattern);
  // The folder part, with its separator; "Z:name" has the drive as folder.
  std::size_t split = text.find_last_of(u"\\/");
  split = split != std::u16string_view::npos ? split + 1
          : (text.size() >= 2 && text[1] == u':') ? 2
                                                   : 0;
  const std::u16string_view folderPart = text.substr(0, split);
  const std::u16string_view namePart = text.substr(split);
  if (namePart.empty()) return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
  if (folderPart.find_first_of(u"*?") != std::u16string_view::npos) {
    return Fail(ERROR_INVALID_NAME, INVALID_HANDLE_VALUE);
  }
  const std::optional<std::string> folder = folderPart.empty() ? std::optional<std::string>(".")
                                                               : PosixPath(folderPart);
  if (!folder) return Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
  DWORD error = ERROR_SUCCESS;
  std::vector<FoundEntry> entries = Search(*folder, namePart, error);
  if (entries.empty()) return Fail(error, INVALID_HANDLE_VALUE);
  auto find = std::make_shared<FindObject>(std::move(entries));
  find->Next(*data);
  return InsertHandle(std::move(find));
}

BOOL WINAPI FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW data) {
  const auto search = ObjectOfHandle<FindObject>(find);
  if (!search) return Fail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
  if (data == nullptr) return Fail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
  if (!search->Next(*data)) return Fail<BOOL>(ERROR_NO_MORE_FILES, FALSE);
  return TRUE;
}

BOOL WINAPI FindClose(HANDLE find) {
  if (!RemoveHandle(find, IsFind)) return Fail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
  return TRUE;
}
