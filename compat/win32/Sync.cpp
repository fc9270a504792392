// Mutexes, waits and handle closing.
//
// A named mutex exists, for every process of the user, while some handle on
// it is open anywhere. Each process that has it open holds a shared flock on
// the mutex's lock file in the runtime folder; the kernel drops that lock when
// the process ends, however it ends. Creating the mutex asks whether anyone
// holds a lock: an exclusive non-blocking flock succeeds only when nobody
// does, and the creator then turns it into a shared one.
//
// Turning an exclusive flock into a shared one is not atomic: the kernel lets
// go of the old lock before it takes the new one. A second creator probing in
// that gap would find the file unlocked and believe it came first too. So the
// probe and the turn happen under a second, exclusive flock on a gate file
// beside the lock file, which every creator takes first and holds for those
// few microseconds; a process that dies holding it loses it like any other.
//
// Lock files are never removed: removing one while another process is about
// to lock it would let two processes lock two different files of one name.
// They are empty and live in the runtime folder, which the session clears.
// When that folder is missing or open to others, or something that is not a
// regular file of ours sits at a lock file's name, the lock moves on to a
// private folder of ours (see LockFolder); what was in the way stays as it is.
//
// Ownership (WaitForSingleObject, ReleaseMutex) counts within this process:
// threads of one process exclude each other, processes do not.
#include "compat/win32/Sync.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "compat/win32/Error.h"
#include "compat/win32/Handle.h"
#include "compat/win32/NoDestructor.h"
#include "compat/win32/Process.h"
#include "compat/win32/StringConv.h"

namespace compat::win32 {
namespace {

// Where lock files may live, in the order of the desktop's base-directory
// rules: the session's runtime folder when it is a folder that only we may
// enter; else a private folder of ours below the temporary folder; else one
// in our cache folder. Every process of the user walks the same list, so they
// agree on one folder as long as they share the environment.
enum class Place { kRuntime, kTemporary, kCache };
constexpr Place kPlaces[] = {Place::kRuntime, Place::kTemporary, Place::kCache};

std::string AbsoluteEnv(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] == '/' ? std::string(value) : std::string();
}

// A folder we create for ourselves: made with mode 0700 if missing, then
// taken only if it is a real folder (not a link) owned by us; a looser mode
// on our own folder is tightened.
bool PrivateFolder(const std::string& folder) {
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st;
  if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid()) return false;
  return (st.st_mode & 077) == 0 || chmod(folder.c_str(), 0700) == 0;
}

// The folder for lock files at `place`, or nothing when it is missing or
// someone else could reach into it.
std::optional<std::string> LockFolder(Place place) {
  const std::string user = std::to_string(getuid());
  switch (place) {
    case Place::kRuntime: {
      // The session's folder must be ours and closed to everyone else.
      const std::string runtime = AbsoluteEnv("XDG_RUNTIME_DIR");
      struct stat st;
      if (runtime.empty() || stat(runtime.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
          st.st_uid != geteuid() || (st.st_mode & 077) != 0) {
        return std::nullopt;
      }
      return runtime;
    }
    case Place::kTemporary: {
      std::string temporary = AbsoluteEnv("TMPDIR");
      if (temporary.empty()) temporary = "/tmp";
      const std::string folder = temporary + "/win32compat-" + user;
      if (!PrivateFolder(folder)) return std::nullopt;
      return folder;
    }
    case Place::kCache: {
      std::string cache = AbsoluteEnv("XDG_CACHE_HOME");
      if (cache.empty()) {
        const std::string home = AbsoluteEnv("HOME");
        if (home.empty()) return std::nullopt;
        cache = home + "/.cache";
      }
      mkdir(cache.c_str(), 0700);  // the desktop makes it on first use too
      const std::string folder = cache + "/win32compat-" + user;
      if (!PrivateFolder(folder)) return std::nullopt;
      return folder;
    }
  }
  return std::nullopt;
}

// A file name for a mutex name: letters, digits and "-_.{}" stay, every other
// byte of its UTF-8 form becomes %XX, so that distinct names stay distinct.
// A name too long for a file keeps its start and ends with a hash of the whole.
std::string LockFileStem(std::u16string_view name) {
  const std::string utf8 = Utf16ToUtf8(name);
  std::string stem;
  for (const unsigned char c : utf8) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
        c == '.' || c == '{' || c == '}') {
      stem += static_cast<char>(c);
    } else {
      AppendPercentEscape(stem, c);
    }
  }
  if (stem.size() > 200) {
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (const unsigned char c : utf8) hash = (hash ^ c) * 1099511628211ull;
    stem.resize(160);
    stem += '~';
    for (int shift = 60; shift >= 0; shift -= 4) stem += kUpperHexDigits[(hash >> shift) & 15];
  }
  return stem;
}

int FlockRetrying(int fd, int operation) {
  int result;
  do {
    result = flock(fd, operation);
  } while (result != 0 && errno == EINTR);
  return result;
}

// Why a folder was given up: the next place is tried only when this one
// cannot hold our lock files at all, never for a passing failure, so that
// every process settles on the same folder.
enum class Outcome { kLocked, kRefused, kFailed };

// Opens a lock file that is a regular file of ours, never through a link and
// never waiting on a device or pipe planted in its place; -1 with `refused`
// set for anything else at that name, which stays as it is.
int OpenLockFile(const std::string& path, bool& refused, DWORD& error) {
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
  struct stat st;
  if (fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid()) return fd;
  refused = fd >= 0 || errno == ELOOP || errno == EISDIR || errno == ENXIO || errno == EACCES;
  error = fd >= 0 ? ERROR_ACCESS_DENIED : ErrorFromErrno(errno, errno == ENOENT);
  if (fd >= 0) close(fd);
  return -1;
}

// Opens the lock file of `name` in `folder` and takes the shared lock on it;
// `existed` tells whether some process held one already.
Outcome LockInFolder(const std::string& folder, std::u16string_view name, int& fd, bool& existed,
                     DWORD& error) {
  const std::string stem = folder + "/" + LockFileStem(name);
  bool refused = false;
  const int gate = OpenLockFile(stem + ".gate", refused, error);
  if (gate < 0) return refused ? Outcome::kRefused : Outcome::kFailed;
  Outcome outcome = Outcome::kFailed;
  fd = -1;
  if (FlockRetrying(gate, LOCK_EX) != 0) {
    error = ErrorFromErrno(errno);
  } else if ((fd = OpenLockFile(stem + ".mutex", refused, error)) < 0) {
    outcome = refused ? Outcome::kRefused : Outcome::kFailed;
  } else if (FlockRetrying(fd, LOCK_EX | LOCK_NB) == 0) {
    existed = false;
  } else if (errno == EWOULDBLOCK) {
    existed = true;
  } else {
    error = ErrorFromErrno(errno);
    close(fd);
    fd = -1;
  }
  // Every exclusive lock is taken and turned under the gate, so the shared
  // lock below never waits for more than that turn.
  if (fd >= 0 && FlockRetrying(fd, LOCK_SH) != 0) {
    error = ErrorFromErrno(errno);
    close(fd);
    fd = -1;
  }
  if (fd >= 0) outcome = Outcome::kLocked;
  close(gate);
  return outcome;
}

// The lock on `name` in the first place that can hold it. -1 with `error`
// set when none can, or when taking it failed for another reason.
int OpenNamedMutex(std::u16string_view name, bool& existed, DWORD& error) {
  error = ERROR_ACCESS_DENIED;
  for (const Place place : kPlaces) {
    const std::optional<std::string> folder = LockFolder(place);
    if (!folder) continue;
    int fd = -1;
    switch (LockInFolder(*folder, name, fd, existed, error)) {
      case Outcome::kLocked: return fd;
      case Outcome::kRefused: continue;
      case Outcome::kFailed: return -1;
    }
  }
  return -1;
}

class MutexObject;

// The named mutexes open in this process, so that every handle of one name
// shares one object and one lock file.
struct NamedMutexes {
  std::mutex lock;
  std::map<std::u16string, std::weak_ptr<MutexObject>> byName;
};

NamedMutexes& Named() {
  static NoDestructor<NamedMutexes> named;
  return *named;
}

class MutexObject final : public WaitableObject {
 public:
  MutexObject(std::u16string name, int fd) : name_(std::move(name)), fd_(fd) {}
  ~MutexObject() override {
    if (fd_ < 0) return;
    NamedMutexes& named = Named();
    std::lock_guard guard(named.lock);
    close(fd_);
    named.byName.erase(name_);
  }

  void TakeOwnership() {
    std::lock_guard guard(lock_);
    owner_ = GetCurrentThreadId();
    count_ = 1;
  }

  DWORD Wait(DWORD milliseconds) override {
    const DWORD self = GetCurrentThreadId();
    std::unique_lock guard(lock_);
    if (owner_ == self) {
      ++count_;
      return WAIT_OBJECT_0;
    }
    const auto free = [this] { return owner_ == 0; };
    if (milliseconds == INFINITE) {
      available_.wait(guard, free);
    } else if (!available_.wait_for(guard, std::chrono::milliseconds(milliseconds), free)) {
      return WAIT_TIMEOUT;
    }
    owner_ = self;
    count_ = 1;
    return WAIT_OBJECT_0;
  }

  bool Release() {
    std::lock_guard guard(lock_);
    if (owner_ != GetCurrentThreadId()) return false;
    if (--count_ == 0) {
      owner_ = 0;
      available_.notify_one();
    }
    return true;
  }

 private:
  const std::u16string name_;
  const int fd_;  // the lock file of a named mutex, -1 for an unnamed one
  std::mutex lock_;
  std::condition_variable available_;
  DWORD owner_ = 0;  // thread id; 0 when free
  DWORD count_ = 0;
};

// "Global\" and "Local\" name the same per-user space here.
std::u16string_view WithoutNamespace(std::u16string_view name) {
  for (std::u16string_view prefix : {std::u16string_view(u"Global\\"), std::u16string_view(u"Local\\")}) {
    if (name.substr(0, prefix.size()) == prefix) return name.substr(prefix.size());
  }
  return name;
}

}  // namespace
}  // namespace compat::win32

using namespace compat::win32;

HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES /*security*/, BOOL initialOwner, LPCWSTR name) {
  if (name == nullptr || name[0] == 0) {
    auto mutex = std::make_shared<MutexObject>(std::u16string(), -1);
    if (initialOwner) mutex->TakeOwnership();
    SetLastError(ERROR_SUCCESS);
    return InsertHandle(std::move(mutex));
  }
  const std::u16string key(WithoutNamespace(name));
  NamedMutexes& named = Named();
  std::unique_lock guard(named.lock);
  for (;;) {
    const auto found = named.byName.find(key);
    if (found == named.byName.end()) break;
    if (std::shared_ptr<MutexObject> mutex = found->second.lock()) {
      // Another handle on a mutex this process has open; the owner flag is
      // ignored for an existing mutex, as on Windows.
      guard.unlock();
      HANDLE handle = InsertHandle(std::move(mutex));
      SetLastError(ERROR_ALREADY_EXISTS);
      return handle;
    }
    // Its last handle is closing on another thread: let that finish, so that
    // its lock is gone before this one is taken.
    guard.unlock();
    std::this_thread::yield();
    guard.lock();
  }
  bool existed = false;
  DWORD error = ERROR_SUCCESS;
  const int fd = OpenNamedMutex(key, existed, error);
  if (fd < 0) {
    SetLastError(error);
    return nullptr;
  }
  auto mutex = std::make_shared<MutexObject>(key, fd);
  named.byName[key] = mutex;
  guard.unlock();
  if (initialOwner && !existed) mutex->TakeOwnership();
  HANDLE handle = InsertHandle(std::move(mutex));
  SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

BOOL WINAPI ReleaseMutex(HANDLE mutex) {
  const auto object = ObjectOfHandle<MutexObject>(mutex);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!object->Release()) {
    SetLastError(ERROR_NOT_OWNER);
    return FALSE;
  }
  return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  const auto object = ObjectOfHandle<WaitableObject>(handle);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  return object->Wait(milliseconds);
}

BOOL WINAPI CloseHandle(HANDLE handle) {
  if (!RemoveHandle(handle)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}
