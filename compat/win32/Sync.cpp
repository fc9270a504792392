// Mutexes, waits, handle closing, time and the process.
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
//
// Ownership (WaitForSingleObject, ReleaseMutex) counts within this process:
// threads of one process exclude each other, processes do not.
#include "compat/win32/Sync.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <ctime>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "compat/win32/Error.h"
#include "compat/win32/Handle.h"
#include "compat/win32/StringConv.h"

namespace compat::win32 {
namespace {

// The folder of the lock files: $XDG_RUNTIME_DIR, else a folder of this user
// below /tmp that nobody else may enter.
std::optional<std::string> RuntimeFolder(DWORD& error) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') return std::string(runtime);
  const std::string folder = "/tmp/win32compat-" + std::to_string(getuid());
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    error = ErrorFromErrno(errno, errno == ENOENT);
    return std::nullopt;
  }
  struct stat st;
  if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()) {
    error = ERROR_ACCESS_DENIED;  // someone else's folder, or a link planted in its place
    return std::nullopt;
  }
  if ((st.st_mode & 077) != 0 && chmod(folder.c_str(), 0700) != 0) {
    error = ErrorFromErrno(errno);
    return std::nullopt;
  }
  return folder;
}

// A file name for a mutex name: letters, digits and "-_.{}" stay, every other
// byte of its UTF-8 form becomes %XX, so that distinct names stay distinct.
// A name too long for a file keeps its start and ends with a hash of the whole.
std::string LockFileStem(std::u16string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const std::string utf8 = Utf16ToUtf8(name);
  std::string stem;
  for (const unsigned char c : utf8) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
        c == '.' || c == '{' || c == '}') {
      stem += static_cast<char>(c);
    } else {
      stem += '%';
      stem += kHex[c >> 4];
      stem += kHex[c & 15];
    }
  }
  if (stem.size() > 200) {
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (const unsigned char c : utf8) hash = (hash ^ c) * 1099511628211ull;
    stem.resize(160);
    stem += '~';
    for (int shift = 60; shift >= 0; shift -= 4) stem += kHex[(hash >> shift) & 15];
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

// Opens the lock file of `name` and takes the shared lock on it; `existed`
// tells whether some process held one already. -1 with `error` set on failure.
int OpenNamedMutex(std::u16string_view name, bool& existed, DWORD& error) {
  const std::optional<std::string> folder = RuntimeFolder(error);
  if (!folder) return -1;
  const std::string stem = *folder + "/" + LockFileStem(name);
  constexpr int kFlags = O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW;
  const int gate = open((stem + ".gate").c_str(), kFlags, 0600);
  if (gate < 0) {
    error = ErrorFromErrno(errno, errno == ENOENT);
    return -1;
  }
  int fd = -1;
  if (FlockRetrying(gate, LOCK_EX) != 0) {
    error = ErrorFromErrno(errno);
  } else if ((fd = open((stem + ".mutex").c_str(), kFlags, 0600)) < 0) {
    error = ErrorFromErrno(errno, errno == ENOENT);
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
  close(gate);
  return fd;
}

class MutexObject;

// The named mutexes open in this process, so that every handle of one name
// shares one object and one lock file.
struct NamedMutexes {
  std::mutex lock;
  std::map<std::u16string, std::weak_ptr<MutexObject>> byName;
};

NamedMutexes& Named() {
  static NamedMutexes* named = new NamedMutexes;
  return *named;
}

class MutexObject final : public KernelObject {
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

  DWORD Wait(DWORD milliseconds) {
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
  const auto mutex = ObjectOfHandle<MutexObject>(handle);
  if (!mutex) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  return mutex->Wait(milliseconds);
}

BOOL WINAPI CloseHandle(HANDLE handle) {
  if (!RemoveHandle(handle)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

void WINAPI Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    sched_yield();
    return;
  }
  if (milliseconds == INFINITE) {
    for (;;) pause();
  }
  timespec remaining{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000};
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

DWORD WINAPI GetTickCount() {
  // Milliseconds since boot, sleep included, wrapping after 49.7 days.
  timespec now;
  clock_gettime(CLOCK_BOOTTIME, &now);
  return static_cast<DWORD>(static_cast<std::uint64_t>(now.tv_sec) * 1000 +
                            static_cast<std::uint64_t>(now.tv_nsec) / 1000000);
}

DWORD WINAPI GetCurrentThreadId() {
  static thread_local const DWORD id = static_cast<DWORD>(gettid());
  return id;
}

DWORD WINAPI GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

void WINAPI ExitProcess(UINT exitCode) { std::exit(static_cast<int>(exitCode)); }
