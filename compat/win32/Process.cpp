// The process and thread calls; other programs started and waited for.
#include "compat/win32/Process.h"

#include <grp.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "compat/win32/Error.h"
#include "compat/win32/Handle.h"
#include "compat/win32/Path.h"
#include "compat/win32/StringConv.h"
#include "compat/win32/Sync.h"
#include "compat/win32/Time.h"

extern char** environ;

namespace compat::win32 {
namespace {

class ProcessObject final : public WaitableObject {
 public:
  explicit ProcessObject(pid_t pid) : pid_(pid) {}
  ~ProcessObject() override {
    if (!Reap(false)) {
      // Collected when it ends, so that it does not linger as a zombie.
      std::thread([pid = pid_] { waitpid(pid, nullptr, 0); }).detach();
    }
  }

  DWORD Wait(DWORD milliseconds) override {
    if (milliseconds == INFINITE) return Reap(true) ? WAIT_OBJECT_0 : WAIT_FAILED;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    auto pause = std::chrono::microseconds(200);
    while (!Reap(false)) {
      if (std::chrono::steady_clock::now() >= deadline) return WAIT_TIMEOUT;
      std::this_thread::sleep_for(pause);
      pause = std::min(pause * 2, std::chrono::microseconds(10000));
    }
    return WAIT_OBJECT_0;
  }

  std::optional<DWORD> ExitCode() {
    Reap(false);
    std::lock_guard lock(mutex_);
    return exitCode_;
  }

  pid_t pid() const { return pid_; }

 private:
  bool Reap(bool block) {
    std::lock_guard lock(mutex_);
    if (exitCode_) return true;
    int status = 0;
    const pid_t done = waitpid(pid_, &status, block ? 0 : WNOHANG);
    if (done != pid_) return false;
    exitCode_ = WIFEXITED(status) ? static_cast<DWORD>(WEXITSTATUS(status))
                                  : static_cast<DWORD>(128 + WTERMSIG(status));
    return true;
  }

  pid_t pid_;
  std::mutex mutex_;
  std::optional<DWORD> exitCode_;
};

// Windows' rules: blanks separate, double quotes group, 2n backslashes
// before a quote are n and the quote counts, 2n+1 are n and a plain quote.
std::vector<std::string> SplitCommandLine(std::u16string_view line) {
  std::vector<std::string> arguments;
  std::u16string current;
  bool inArgument = false;
  bool quoted = false;
  for (std::size_t i = 0; i < line.size();) {
    const char16_t c = line[i];
    if ((c == u' ' || c == u'\t') && !quoted) {
      if (inArgument) arguments.push_back(Utf16ToUtf8(current));
      current.clear();
      inArgument = false;
      ++i;
      continue;
    }
    inArgument = true;
    if (c == u'\\') {
      std::size_t count = 0;
      while (i < line.size() && line[i] == u'\\') ++count, ++i;
      if (i < line.size() && line[i] == u'"') {
        current.append(count / 2, u'\\');
        if (count % 2 == 1) current += u'"', ++i;
      } else {
        current.append(count, u'\\');
      }
    } else if (c == u'"') {
      quoted = !quoted;
      ++i;
    } else {
      current += c;
      ++i;
    }
  }
  if (inArgument) arguments.push_back(Utf16ToUtf8(current));
  return arguments;
}

bool IsRegularFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string ProgramFolder() {
  char buffer[4096];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return length > 0 ? ParentFolder(std::string_view(buffer, static_cast<std::size_t>(length))) : ".";
}

}  // namespace
}  // namespace compat::win32

using namespace compat::win32;

DWORD WINAPI GetCurrentThreadId() {
  static thread_local const DWORD id = static_cast<DWORD>(gettid());
  return id;
}

DWORD WINAPI GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

void WINAPI ExitProcess(UINT exitCode) { std::exit(static_cast<int>(exitCode)); }

BOOL WINAPI CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine, LPSECURITY_ATTRIBUTES,
                           LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCWSTR, LPSTARTUPINFOW,
                           LPPROCESS_INFORMATION processInformation) {
  std::vector<std::string> arguments = SplitCommandLine(commandLine ? commandLine : u"");
  const std::u16string program =
      applicationName ? std::u16string(applicationName)
                      : (arguments.empty() ? std::u16string() : Utf8ToUtf16(arguments.front()));
  const std::optional<std::string> posix = PosixPath(program);
  if (program.empty() || !posix || !IsRegularFile(*posix)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  if (arguments.empty()) arguments.push_back(*posix);
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int failed = posix_spawn(&pid, posix->c_str(), nullptr, nullptr, argv.data(), environ);
  if (failed != 0) {
    SetLastError(failed == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (processInformation) {
    processInformation->hProcess = InsertHandle(std::make_shared<ProcessObject>(pid));
    processInformation->hThread = nullptr;
    processInformation->dwProcessId = static_cast<DWORD>(pid);
    processInformation->dwThreadId = 0;
  } else {
    // Nobody waits for it; it is collected when it ends.
    std::make_shared<ProcessObject>(pid).reset();
  }
  return TRUE;
}

BOOL WINAPI GetExitCodeProcess(HANDLE process, LPDWORD exitCode) {
  const std::shared_ptr<ProcessObject> object = ObjectOfHandle<ProcessObject>(process);
  if (!object || !exitCode) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *exitCode = object->ExitCode().value_or(STILL_ACTIVE);
  return TRUE;
}

DWORD WINAPI SearchPathW(LPCWSTR path, LPCWSTR fileName, LPCWSTR extension, DWORD bufferLength,
                         LPWSTR buffer, LPWSTR* filePart) {
  if (!fileName || !*fileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const std::string name = Utf16ToUtf8(fileName);
  std::vector<std::string> names{name};
  if (name.find('.') == std::string::npos && extension) names.push_back(name + Utf16ToUtf8(extension));
  if (name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".exe") == 0)
    names.push_back(name.substr(0, name.size() - 4));

  std::vector<std::string> folders;
  if (name.find_first_of("/\\") != std::string::npos) {
    folders.push_back("");
  } else if (path) {
    const std::u16string list = path;
    std::size_t start = 0;
    while (start <= list.size()) {
      std::size_t end = list.find(u';', start);
      if (end == std::u16string::npos) end = list.size();
      if (end > start)
        if (auto folder = PosixPath(list.substr(start, end - start))) folders.push_back(*folder);
      start = end + 1;
    }
  } else {
    folders.push_back(ProgramFolder());
    folders.push_back(".");
    const char* variable = std::getenv("PATH");
    const std::string list = variable ? variable : "";
    std::size_t start = 0;
    while (start <= list.size()) {
      std::size_t end = list.find(':', start);
      if (end == std::string::npos) end = list.size();
      if (end > start) folders.push_back(list.substr(start, end - start));
      start = end + 1;
    }
  }
  for (const std::string& folder : folders) {
    for (const std::string& candidate : names) {
      std::string full;
      if (folder.empty()) {
        const std::optional<std::string> posix = PosixPath(Utf8ToUtf16(candidate));
        if (!posix) continue;
        full = *posix;
      } else {
        full = folder + "/" + candidate;
      }
      if (!IsRegularFile(full)) continue;
      char resolved[4096];
      if (realpath(full.c_str(), resolved)) full = resolved;
      const std::u16string windows = WindowsPath(full);
      if (windows.size() + 1 > bufferLength || !buffer) return static_cast<DWORD>(windows.size() + 1);
      std::copy(windows.begin(), windows.end(), buffer);
      buffer[windows.size()] = u'\0';
      if (filePart) *filePart = buffer + windows.find_last_of(u'\\') + 1;
      return static_cast<DWORD>(windows.size());
    }
  }
  SetLastError(ERROR_FILE_NOT_FOUND);
  return 0;
}

BOOL WINAPI IsUserAnAdmin() {
  if (geteuid() == 0) return TRUE;
  const int count = getgroups(0, nullptr);
  std::vector<gid_t> groups(count > 0 ? static_cast<std::size_t>(count) : 0);
  const int got = count > 0 ? getgroups(count, groups.data()) : 0;
  groups.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  groups.push_back(getegid());
  for (const char* name : {"sudo", "wheel", "admin"}) {
    const struct group* entry = getgrnam(name);
    if (entry && std::find(groups.begin(), groups.end(), entry->gr_gid) != groups.end()) return TRUE;
  }
  return FALSE;
}
