// Files and folders over POSIX, with Windows paths and share modes.
//
// Every open file of the process is listed by its device and inode with the
// access and sharing of each handle on it, so that a second open that Windows
// would refuse fails with ERROR_SHARING_VIOLATION, and a file opened for
// delete-on-close goes when the last handle on it closes.
//
// File names are UTF-8 on disk whatever the locale, as desktop Linux keeps
// them; a name that is not valid UTF-8 shows U+FFFD in its Windows form.
#include "compat/win32/File.h"

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
#include "compat/win32/FileInternal.h"
#include "compat/win32/Handle.h"
#include "compat/win32/NoDestructor.h"
#include "compat/win32/Path.h"

namespace compat::win32 {

// Windows tells a missing file (ERROR_FILE_NOT_FOUND) from a missing folder on
// the way to it (ERROR_PATH_NOT_FOUND).
DWORD PathError(int err, const std::string& path) {
  bool missingFolder = false;
  if (err == ENOENT) {
    struct stat st;
    const std::string parent = ParentFolder(path);
    missingFolder = stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode);
  }
  return ErrorFromErrno(err, missingFolder);
}

// The read-only attribute is the absence of write permission: no write bit at
// all (which holds even for the superuser), or none for this user.
bool IsReadOnly(const struct stat& st, const std::string& path, int folder) {
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return true;
  const char* name = folder == AT_FDCWD ? path.c_str() : path.c_str() + path.size() - LastComponent(path).size();
  return faccessat(folder, name, W_OK, 0) != 0;
}

// Folders are directories; a name beginning with a dot is hidden; a regular
// file carries the archive bit, as files written on Windows do; anything else
// without attributes is "normal".
DWORD AttributesOf(const struct stat& st, const std::string& path, int folder) {
  DWORD attributes = 0;
  if (S_ISDIR(st.st_mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
  if (IsReadOnly(st, path, folder)) attributes |= FILE_ATTRIBUTE_READONLY;
  const std::string_view name = LastComponent(path);
  if (name.size() > 1 && name[0] == '.' && name != "..") attributes |= FILE_ATTRIBUTE_HIDDEN;
  if (S_ISREG(st.st_mode)) attributes |= FILE_ATTRIBUTE_ARCHIVE;
  return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

namespace {

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
  static NoDestructor<OpenFiles> files;
  return *files;
}

// GetFileType's answer for a file of mode `mode`.
DWORD FileTypeOf(mode_t mode) {
  if (S_ISREG(mode)) return FILE_TYPE_DISK;
  if (S_ISCHR(mode)) return FILE_TYPE_CHAR;
  if (S_ISFIFO(mode) || S_ISSOCK(mode)) return FILE_TYPE_PIPE;
  return FILE_TYPE_UNKNOWN;
}

class FileObject final : public KernelObject {
 public:
  FileObject(int fd, FileId id, Sharing sharing, DWORD type) : fd_(fd), id_(id), sharing_(sharing), type_(type) {}
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
  // What GetFileType answers: an open descriptor's kind of file never
  // changes, so it is taken from the open's own status query.
  DWORD type() const { return type_; }

 private:
  int fd_;
  FileId id_;
  Sharing sharing_;
  DWORD type_;
};

}  // namespace

bool SharingForbids(const struct stat& st, bool read, bool write, bool remove, DWORD share) {
  Sharing sharing;
  sharing.read = read;
  sharing.write = write;
  sharing.remove = remove;
  sharing.share = share;
  OpenFiles& files = Files();
  std::lock_guard guard(files.lock);
  return files.Conflicts({st.st_dev, st.st_ino}, sharing);
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

  // The open itself runs without the open-file lock, so one slow open (a
  // network file system) holds up no other thread's; what it found is
  // checked against the other handles under the lock afterwards.
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
  // Reads and writes of a regular file never wait on the flag: only other
  // kinds of file (a FIFO, a device) need it cleared, at two calls an open.
  if (!(openFlags & O_PATH) && !S_ISREG(st.st_mode) &&
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    return refuse(ErrorFromErrno(errno));
  }
  const FileId id{st.st_dev, st.st_ino};
  OpenFiles& files = Files();
  std::lock_guard guard(files.lock);
  if (files.Conflicts(id, sharing)) return refuse(ERROR_SHARING_VIOLATION);
  if (existed && (sharing.write || sharing.remove) && IsReadOnly(st, *path)) return refuse(ERROR_ACCESS_DENIED);
  if (existed && truncates && ftruncate(fd, 0) != 0) return refuse(ErrorFromErrno(errno));

  auto file = std::make_shared<FileObject>(fd, id, sharing, FileTypeOf(st.st_mode));
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
  SetLastError(ERROR_SUCCESS);
  return file->type();
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
  // The pointer moves only to a target that is accepted: the end is the
  // file's size as the system reports it, not a move there first.
  off_t base = 0;
  if (moveMethod == FILE_CURRENT) {
    base = lseek(file->fd(), 0, SEEK_CUR);
  } else if (moveMethod == FILE_END) {
    struct stat st;
    base = fstat(file->fd(), &st) == 0 ? st.st_size : -1;
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

BOOL WINAPI FlushFileBuffers(HANDLE handle) {
  const auto file = FileOf(handle);
  if (!file) return Fail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
  if (!file->sharing().write) return Fail<BOOL>(ERROR_ACCESS_DENIED, FALSE);
  if (fsync(file->fd()) != 0) return Fail<BOOL>(ErrorFromErrno(errno), FALSE);
  return TRUE;
}

namespace {
// A folder's path into the caller's buffer; too small a buffer is left
// alone, and the answer is the size it needs.
DWORD CopyFolderPath(const std::u16string& path, DWORD size, LPWSTR buffer) {
  if (buffer == nullptr || size <= path.size()) return static_cast<DWORD>(path.size() + 1);
  std::memcpy(buffer, path.data(), path.size() * sizeof(WCHAR));
  buffer[path.size()] = 0;
  return static_cast<DWORD>(path.size());
}
}  // namespace

DWORD WINAPI GetTempPathW(DWORD size, LPWSTR buffer) {
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp";
  if (folder.back() != '/') folder += '/';
  return CopyFolderPath(WindowsPath(folder), size, buffer);
}

DWORD WINAPI GetCurrentDirectoryW(DWORD size, LPWSTR buffer) {
  std::string folder(256, '\0');
  while (getcwd(folder.data(), folder.size()) == nullptr) {
    if (errno != ERANGE) return Fail<DWORD>(ErrorFromErrno(errno), 0);
    folder.resize(folder.size() * 2);
  }
  folder.resize(std::strlen(folder.c_str()));
  return CopyFolderPath(WindowsPath(folder), size, buffer);
}

