#include "platform/win32/System.h"

#include <pwd.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "compat/win32/Error.h"
#include "compat/win32/File.h"
#include "compat/win32/Sync.h"
#include "compat/win32/Module.h"
#include "compat/win32/Path.h"
#include "compat/win32/Process.h"
#include "compat/win32/Registry.h"
#include "compat/win32/Version.h"
#include "foundation/CString.h"
#include "foundation/CURI.h"
#include "foundation/Exception.h"
#include "foundation/ICharEncoding.h"
#include "foundation/IStringLocalizer.h"
#include "foundation/Singleton.h"
#include "platform/win32/SystemError.h"
#include "platform/win32/SystemServices.h"

namespace lumo::win32 {

namespace fs = std::filesystem;

namespace {

// Tries before a unique name is given up.
constexpr std::int32_t kUniqueAttempts = 10000;

String FromUTF8(const std::string& text) {
  return make<CUTF8String>(reinterpret_cast<const std::uint8_t*>(text.data()),
                           static_cast<std::int32_t>(text.size()));
}

std::string ToUTF8Text(const String& text) {
  const String utf8 = CString::convert(*text, GetUTF8CharEncoding());
  return std::string(reinterpret_cast<const char*>(utf8->data()), static_cast<std::size_t>(utf8->byteLength()));
}

String FromUTF16(const std::u16string& text) {
  return make<CWCharString>(text.data(), static_cast<std::int32_t>(2 * text.size()));
}

// The POSIX path of a Windows path; nothing for a drive or host that is not
// mapped.
std::optional<fs::path> PosixOf(const String& windowsPath) {
  if (windowsPath.isEmpty()) return std::nullopt;
  auto posix = compat::win32::PosixPath(ToUTF16(windowsPath));
  if (!posix) return std::nullopt;
  return fs::path(*posix);
}

String Filled(const char* key, const char* defaultText, std::initializer_list<std::pair<const char*, String>> fill) {
  String text = Localize(key, defaultText);
  for (const auto& [placeholder, value] : fill) text = text.replace(placeholder, value);
  return text;
}

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

// The user's trash folder of the freedesktop desktops.
fs::path TrashFolder() {
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) return fs::path(data) / "Trash";
  const char* home = std::getenv("HOME");
  return fs::path(home ? home : "/") / ".local/share/Trash";
}

// Moves the item into the trash with its .trashinfo record, so the desktop's
// file manager can put it back. The record is claimed first (exclusive
// create), so two deletions never pick the same name.
std::error_code MoveToTrash(const fs::path& item) {
  std::error_code error;
  const fs::path trash = TrashFolder();
  fs::create_directories(trash / "files", error);
  if (error) return error;
  fs::create_directories(trash / "info", error);
  if (error) return error;
  const fs::path absolute = fs::absolute(item, error);
  if (error) return error;
  const std::string base = absolute.filename().string();
  char stamp[32];
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &local);
  for (std::int32_t n = 1;; ++n) {
    const std::string name = n == 1 ? base : base + "." + std::to_string(n);
    const fs::path info = trash / "info" / (name + ".trashinfo");
    std::FILE* file = std::fopen(info.c_str(), "wx");
    if (!file) {
      if (errno == EEXIST) continue;
      return {errno, std::generic_category()};
    }
    std::fprintf(file, "[Trash Info]\nPath=%s\nDeletionDate=%s\n", PercentEncoded(absolute.string()).c_str(), stamp);
    std::fclose(file);
    const fs::path target = trash / "files" / name;
    fs::rename(absolute, target, error);
    if (error == std::errc::cross_device_link) {
      // Another file system: the copy lands in the trash before the
      // original goes, so the item exists somewhere at every moment.
      error.clear();
      fs::copy(absolute, target, fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
      if (!error) fs::remove_all(absolute, error);
    }
    if (error) fs::remove(info);
    return error;
  }
}

// The registry key where the desktop's special folders are kept by name.
constexpr char16_t kShellFolders[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// The folder of a freedesktop user-dirs entry ("XDG_DESKTOP_DIR") as the
// user's user-dirs.dirs file names it, else $HOME/`fallback`.
std::string UserDir(const std::string& entry, const std::string& fallback) {
  const char* homeVariable = std::getenv("HOME");
  const std::string home = homeVariable ? homeVariable : "/";
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::ifstream dirs((config && *config ? std::string(config) : home + "/.config") + "/user-dirs.dirs");
  std::string line;
  while (std::getline(dirs, line)) {
    if (!line.starts_with(entry + "=\"")) continue;
    std::string value = line.substr(entry.size() + 2);
    if (value.ends_with('"')) value.pop_back();
    if (value.starts_with("$HOME")) value = home + value.substr(5);
    return value;
  }
  return home + "/" + fallback;
}

// The folder of a base-directory variable, else $HOME/`fallback`.
std::string BaseDir(const char* variable, const std::string& fallback) {
  if (const char* value = std::getenv(variable); value && *value) return value;
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "/") + "/" + fallback;
}

// What stands for a shell folder the registry does not name: the desktop's
// own user folders.
std::string DesktopDefault(const std::u16string& name) {
  if (name == u"Desktop") return UserDir("XDG_DESKTOP_DIR", "Desktop");
  if (name == u"Personal") return UserDir("XDG_DOCUMENTS_DIR", "Documents");
  if (name == u"AppData") return BaseDir("XDG_CONFIG_HOME", ".config");
  return BaseDir("XDG_DATA_HOME", ".local/share");
}

// Special-folder ids of the shell that have a folder here.
constexpr std::int32_t kFolderDesktop = 0x0000;
constexpr std::int32_t kFolderPersonal = 0x0005;
constexpr std::int32_t kFolderAppData = 0x001a;
constexpr std::int32_t kFolderLocalAppData = 0x001c;
constexpr std::int32_t kFolderWindows = 0x0024;

// The version record a library's "DllGetVersion" export fills.
struct DllVersionInfo {
  DWORD cbSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformID;
};
using DllGetVersionFunction = long (*)(DllVersionInfo*);

}  // namespace

P<IURI> CSystem::shellFolder(const char16_t* name) {
  std::u16string path;
  DWORD size = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, kShellFolders, name, RRF_RT_REG_SZ, nullptr, nullptr, &size) ==
          ERROR_SUCCESS &&
      size >= 2) {
    path.assign(size / 2, u'\0');
    if (RegGetValueW(HKEY_CURRENT_USER, kShellFolders, name, RRF_RT_REG_SZ, nullptr, path.data(), &size) !=
        ERROR_SUCCESS) {
      path.clear();
    }
    path.resize(path.empty() ? 0 : size / 2 - 1);
  }
  if (path.empty()) path = compat::win32::WindowsPath(DesktopDefault(name));
  if (!path.ends_with(u'\\') && !path.ends_with(u'/')) path += u'\\';
  return FromWindowsPath(FromUTF16(path));
}

CSystem::CSystem(P<CMersenneTwisterRandomNumberGenerator> random)
    : mutex(GetMutexFactory()->CreateMutex()),
      random(random ? std::move(random) : make<CMersenneTwisterRandomNumberGenerator>()) {}

CSystem::~CSystem() = default;

std::uint32_t CSystem::GetProcessId() { return GetCurrentProcessId(); }

OSVersion CSystem::GetOSVersion() {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExW(&info)) ThrowSystemError(GetLastError());
  return {info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber, info.dwPlatformId,
          String(info.szCSDVersion)};
}

String CSystem::GetOSName() {
  const OSVersion version = GetOSVersion();
  const bool nt = version.platformId == VER_PLATFORM_WIN32_NT;
  String name;
  if (!nt && version.major == 4 && version.minor == 0) {
    name = "Windows 95";
  } else if (!nt && version.major == 4 && version.minor == 10) {
    name = "Windows 98";
  } else if (!nt && version.major == 4 && version.minor == 90) {
    name = "Windows ME";
  } else if (nt && version.major == 3) {
    name = "Windows NT 3.51";
  } else if (nt && version.major == 4) {
    name = "Windows NT 4.0";
  } else if (nt && version.major == 5 && version.minor <= 2) {
    static const char* const kNames[] = {"Windows 2000", "Windows XP", "Windows 2003 Server"};
    name = kNames[version.minor];
  } else {
    name = String(nt ? "Windows NT " : "Windows ") + FromUTF8(std::to_string(version.major)) + "." +
           FromUTF8(std::to_string(version.minor));
  }
  if (!version.servicePack.isEmpty()) name = name + " " + version.servicePack;
  return name;
}

MemoryStatus CSystem::GetMemoryStatus() {
  MemoryStatus status;
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  std::uint64_t kilobytes = 0;
  std::string unit;
  while (meminfo >> key >> kilobytes) {
    std::getline(meminfo, unit);
    const std::uint64_t bytes = kilobytes * 1024;
    if (key == "MemTotal:") status.totalPhysical = bytes;
    if (key == "MemAvailable:") status.availablePhysical = bytes;
    if (key == "SwapTotal:") status.totalSwap = bytes;
    if (key == "SwapFree:") status.availableSwap = bytes;
  }
  return status;
}

SystemFigures CSystem::GetSystemInfo() {
  const long pageSize = sysconf(_SC_PAGESIZE);
  return {std::thread::hardware_concurrency(), static_cast<std::uint32_t>(pageSize > 0 ? pageSize : 4096)};
}

P<IWin32System> CSystem::GetWin32System() { return P<IWin32System>::share(this); }

// The desktop's opener picks the browser, mail program or viewer. It runs on
// its own; a thread reaps it so no zombie is left.
void CSystem::OpenInShell(const P<IURI>& uri) {
  const std::string text = ToUTF8Text(uri->getText());
  char program[] = "xdg-open";
  std::string argument = text;
  char* arguments[] = {program, argument.data(), nullptr};
  pid_t child = 0;
  const int failed = posix_spawnp(&child, program, nullptr, nullptr, arguments, environ);
  if (failed) ThrowSystemError(compat::win32::ErrorFromErrno(failed), "Cannot open '" + uri->getText() + "': %ERRORDESC%");
  std::thread([child] { waitpid(child, nullptr, 0); }).detach();
}

// Subsystems.

void CSystem::RegisterSubSystem(const String& type, const P<IBase>& object) {
  CMutexGuard guard(mutex);
  subSystems.emplace_back(type, object);
}

bool CSystem::UnregisterSubSystem(const String& type, const P<IBase>& object) {
  CMutexGuard guard(mutex);
  for (auto entry = subSystems.begin(); entry != subSystems.end(); ++entry) {
    if (entry->first == type && entry->second.get() == object.get()) {
      subSystems.erase(entry);
      return true;
    }
  }
  return false;
}

P<IBase> CSystem::FindSubSystem(const String& type) {
  CMutexGuard guard(mutex);
  for (const auto& [name, object] : subSystems) {
    if (name == type) return object;
  }
  return nullptr;
}

P<IBase> CSystem::GetSubSystem(const String& type) {
  P<IBase> found = FindSubSystem(type);
  if (!found) {
    throw CNoSuchObjectError(
        Filled("lumo.win32.CSystem.NoSuchSubSystem", "No sub system of type %TYPE% was found.", {{"%TYPE%", type}}));
  }
  return found;
}

P<IArray> CSystem::GetSubSystems(const String& type) {
  CMutexGuard guard(mutex);
  const P<CArray> all = make<CArray>();
  for (const auto& [name, object] : subSystems) {
    if (name == type) all->add(object);
  }
  return all;
}

P<IMutex> CSystem::GetMutex() { return mutex; }

// Folders of the user and the system.

P<IURI> CSystem::GetAppDataFolder(bool local) { return shellFolder(local ? u"Local AppData" : u"AppData"); }
P<IURI> CSystem::GetDesktopFolder() { return shellFolder(u"Desktop"); }
P<IURI> CSystem::GetDocumentsFolder() { return shellFolder(u"Personal"); }

P<IURI> CSystem::GetSpecialFolder(std::int32_t folderId) {
  switch (folderId) {
    case kFolderDesktop: return GetDesktopFolder();
    case kFolderPersonal: return GetDocumentsFolder();
    case kFolderAppData: return GetAppDataFolder(false);
    case kFolderLocalAppData: return GetAppDataFolder(true);
    case kFolderWindows: return GetWindowsFolder();
    default:
      throw CInvalidArgError(this, &typeid(*this), "GetSpecialFolder", "no such special folder");
  }
}

// The logged-on user in the domain-backslash-user form; the machine is the
// domain.
String CSystem::GetUserName() {
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0) std::snprintf(host, sizeof host, "localhost");
  std::string user;
  passwd entry{};
  passwd* found = nullptr;
  std::string buffer(16384, '\0');
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found) {
    user = found->pw_name;
  } else if (const char* variable = std::getenv("USER")) {
    user = variable;
  } else {
    ThrowSystemError(compat::win32::ErrorFromErrno(errno ? errno : ENOENT));
  }
  return FromUTF8(std::string(host) + "\\" + user);
}

P<IURI> CSystem::GetCurrentFolder() {
  std::error_code error;
  const fs::path current = fs::current_path(error);
  if (error) ThrowSystemError(compat::win32::ErrorFromErrno(error.value()));
  std::u16string path = compat::win32::WindowsPath(current.string());
  if (!path.ends_with(u'\\')) path += u'\\';
  return FromWindowsPath(FromUTF16(path));
}

P<IURI> CSystem::GetWindowsFolder() {
  // The system folder of a Windows-on-POSIX layer: the drive root.
  return FromWindowsPath("Z:\\");
}

P<IURI> CSystem::GetTempFolder() {
  std::u16string buffer(200, u'\0');
  for (;;) {
    const DWORD length = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length == 0) ThrowSystemError(GetLastError());
    if (length < buffer.size()) {
      buffer.resize(length);
      break;
    }
    buffer.assign(buffer.size() * 2, u'\0');
  }
  if (!buffer.ends_with(u'\\') && !buffer.ends_with(u'/')) buffer += u'/';
  return FromWindowsPath(FromUTF16(buffer));
}

template <class Create>
P<IURI> CSystem::createUnique(const P<IURI>& folder, const String& prefix, const String& suffix, bool asFolder,
                              const Create& create) {
  DWORD code = 0;
  for (std::int32_t attempt = 0; attempt < kUniqueAttempts; ++attempt) {
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08X", random->next());
    String name = prefix + digits + suffix;
    if (asFolder) name = name + "/";
    const P<IURI> candidate = make<CURI>(name)->resolveAgainst(*folder);
    code = create(ToUTF16(ToWindowsPath(candidate, false)));
    if (code == 0) return candidate;
  }
  if (asFolder) {
    ThrowSystemError(code, Localize("lumo.CSystem.CreateUniqueFolderFailed", "Error creating unique folder name.") +
                               " %ERRORDESC%");
  }
  ThrowSystemError(code,
                   Localize("lumo.CSystem.CreateUniqueFileFailed", "Error creating unique file name.") + " %ERRORDESC%");
}

P<IURI> CSystem::CreateUniqueFile(const P<IURI>& folder, const String& prefix, const String& suffix) {
  return createUnique(folder, prefix, suffix, false, [](const std::u16string& path) -> DWORD {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    CloseHandle(file);
    return 0;
  });
}

P<IURI> CSystem::CreateUniqueFolder(const P<IURI>& folder, const String& prefix, const String& suffix) {
  return createUnique(folder, prefix, suffix, true, [](const std::u16string& path) -> DWORD {
    return CreateDirectoryW(path.c_str(), nullptr) ? 0 : GetLastError();
  });
}

P<IURI> CSystem::CreateTempFile(const String& prefix, const String& suffix) {
  return CreateUniqueFile(GetTempFolder(), prefix, suffix);
}

P<IURI> CSystem::CreateTempFolder(const String& prefix, const String& suffix) {
  return CreateUniqueFolder(GetTempFolder(), prefix, suffix);
}

P<IBase> CSystem::GetRandomNumberGenerator() { return random; }

// Files and folders.

bool CSystem::FileExists(const P<IURI>& uri) {
  const String path = ToWindowsPath(uri, false);
  if (path.isEmpty()) return false;
  const HANDLE file = CreateFileW(ToUTF16(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  const DWORD attributes = GetFileAttributesW(ToUTF16(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CSystem::FolderExists(const P<IURI>& uri) {
  String path = ToWindowsPath(uri, false);
  if (path.isEmpty()) return false;
  if (path.startsWith("\\\\?\\")) {
    if (path.endsWith("\\") && !path.endsWith(":\\")) path = path.slice(0, path.length() - 1);
  } else {
    if (!path.endsWith("\\") && !path.endsWith("/")) path = path + "\\";
    path = path + ".";
  }
  const DWORD attributes = GetFileAttributesW(ToUTF16(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::uint64_t CSystem::GetFileSize(const P<IURI>& uri) {
  WIN32_FIND_DATAW data{};
  const HANDLE find = FindFirstFileW(ToUTF16(ToWindowsPath(uri, false)).c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) throw CFileNotFoundError(uri.get());
  FindClose(find);
  return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

void CSystem::transfer(const P<IURI>& source, const P<IURI>& destination, bool overwrite, bool copy, bool folder) {
  const String from = ToWindowsPath(source, false);
  const String to = ToWindowsPath(destination, false);
  if (from.isEmpty() || to.isEmpty()) {
    throw CInvalidArgError(this, &typeid(*this), copy ? "CopyFile" : folder ? "MoveFolder" : "MoveFile",
                           from.isEmpty() ? "source" : "destination");
  }
  const auto fail = [&] {
    const char* const key = folder ? "lumo.CSystem.MoveFolderFailed" : "lumo.CSystem.MoveFileFailed";
    const char* const text =
        folder ? "Error moving folder '%SRC%' to '%DEST%'." : "Error moving file '%SRC%' to '%DEST%'.";
    throw CFileError(Filled(key, text, {{"%SRC%", from}, {"%DEST%", to}}), source.get());
  };
  const auto fromPosix = PosixOf(from);
  const auto toPosix = PosixOf(to);
  if (!fromPosix || !toPosix) fail();
  std::error_code error;
  const bool targetExists = fs::exists(fs::symlink_status(*toPosix, error));
  if (copy) {
    // Copies only a regular file: a folder or device is not copied as one.
    if (!fs::is_regular_file(*fromPosix, error) || (targetExists && !overwrite)) fail();
    fs::copy_file(*fromPosix, *toPosix, fs::copy_options::overwrite_existing, error);
    if (error) fail();
    return;
  }
  if (!fs::exists(fs::symlink_status(*fromPosix, error)) || folder != fs::is_directory(*fromPosix, error)) fail();
  if (targetExists) {
    if (!overwrite) fail();
    // The old item goes to the trash rather than being overwritten, so it
    // can still be restored.
    if (folder ? !DeleteFolder(destination) : !DeleteFile(destination)) fail();
  }
  fs::rename(*fromPosix, *toPosix, error);
  if (error) fail();
}

void CSystem::MoveFile(const P<IURI>& source, const P<IURI>& destination, bool overwrite) {
  transfer(source, destination, overwrite, false, false);
}

void CSystem::MoveFolder(const P<IURI>& source, const P<IURI>& destination, bool overwrite) {
  transfer(source, destination, overwrite, false, true);
}

void CSystem::CopyFile(const P<IURI>& source, const P<IURI>& destination, bool overwrite) {
  transfer(source, destination, overwrite, true, false);
}

bool CSystem::deleteItem(const P<IURI>& uri, bool folder) {
  const String path = ToWindowsPath(uri, false);
  const auto fail = [&](const String& message) {
    const char* const key = folder ? "lumo.CSystem.DeleteFolderFailed" : "lumo.CSystem.DeleteFileFailed";
    const char* const text = folder ? "Error deleting the folder '%FOLDER%' (%MSG%)."
                                    : "Error deleting the file '%FILE%' (%MSG%).";
    throw CError(Filled(key, text, {{folder ? "%FOLDER%" : "%FILE%", path}, {"%MSG%", message}}));
  };
  const auto posix = PosixOf(path);
  if (!posix) return false;
  std::error_code error;
  const fs::file_status status = fs::symlink_status(*posix, error);
  if (!fs::exists(status)) return false;
  // Only the kind of item asked for is deleted: a folder is never taken for
  // a file, nor a device or socket for either.
  const bool isFolder = fs::is_directory(status);
  const bool isFile = fs::is_regular_file(status) || fs::is_symlink(status);
  if (folder ? !isFolder : !isFile) fail(folder ? String("not a folder") : String("not a file"));
  error = MoveToTrash(*posix);
  if (error) fail(FromUTF8(error.message()));
  return true;
}

bool CSystem::DeleteFile(const P<IURI>& uri) { return deleteItem(uri, false); }

bool CSystem::DeleteFolder(const P<IURI>& uri) { return deleteItem(uri, true); }

void CSystem::CreateFolder(const P<IURI>& uri, bool failIfExists) {
  const std::u16string path = ToUTF16(ToWindowsPath(uri, false));
  // Every level in turn; only the last (the whole path) decides.
  for (std::size_t cut = 1; cut < path.size(); ++cut) {
    if (path[cut] == u'\\' || path[cut] == u'/') CreateDirectoryW(path.substr(0, cut).c_str(), nullptr);
  }
  if (CreateDirectoryW(path.c_str(), nullptr)) return;
  const DWORD code = GetLastError();
  if (code == ERROR_ALREADY_EXISTS && !failIfExists) return;
  throw CError(Filled("lumo.CSystem.CreateFolderFailed", "Error creating the folder '%DIR%' (%MSG%).",
                      {{"%DIR%", uri->getText()}, {"%MSG%", DescribeSystemError(code)}}));
}

// The message loop, quitting and the worker part come with the system's
// timer and its workers; until then they say so when called.

void CSystem::RunMessageLoop() { throw CMethodNotImplementedError(this, &typeid(*this), "RunMessageLoop"); }
void CSystem::RunMessageLoopOnce() { throw CMethodNotImplementedError(this, &typeid(*this), "RunMessageLoopOnce"); }

void CSystem::AddMessageHandler(IWin32SystemMessageHandler* handler) {
  CMutexGuard guard(mutex);
  messageHandlers.push_back(handler);
}

void CSystem::RequestQuit() { quitRequested = true; }
bool CSystem::IsQuitRequested() { return quitRequested; }
void CSystem::SetExitCode(std::uint32_t code) { exitCode = code; }
std::uint32_t CSystem::GetExitCode() { return exitCode; }

// Paths.

String CSystem::ToWindowsPath(const P<IURI>& uri, bool keepOtherSchemes) {
  return win32::ToWindowsPath(uri.get(), keepOtherSchemes);
}

P<IURI> CSystem::FromWindowsPath(const String& windowsPath) {
  String path = windowsPath;
  if (path.startsWith("\\\\?\\")) {
    path = path.slice(4);
    if (path.startsWith("UNC\\")) path = "\\\\" + path.slice(4);
  }
  path = path.replace("\\", "/");
  if (path.startsWith("//")) {
    const String rest = path.slice(2);
    const std::int32_t slash = rest->find('/').index;
    if (slash < 0) return make<CURI>("file", nullptr, rest, nullptr, nullptr, nullptr, nullptr);
    return make<CURI>("file", nullptr, rest.slice(0, slash), nullptr, rest.slice(slash), nullptr, nullptr);
  }
  if (path.length() >= 2 && path->charAt(1) == ':') {
    return make<CURI>("file", nullptr, "", nullptr, "/" + path, nullptr, nullptr);
  }
  return make<CURI>(nullptr, nullptr, nullptr, nullptr, path, nullptr, nullptr);
}

// Libraries and versions.

std::uint32_t CSystem::GetDllVersion(const String& fileName) {
  const HMODULE library = LoadLibraryW(ToUTF16(fileName).c_str());
  if (!library) return 0;
  std::uint32_t version = 0;
  if (const auto get = reinterpret_cast<DllGetVersionFunction>(GetProcAddress(library, "DllGetVersion"))) {
    DllVersionInfo info{};
    info.cbSize = sizeof info;
    if (get(&info) == 0) version = (info.dwMajorVersion << 16) | (info.dwMinorVersion & 0xFFFF);
  }
  FreeLibrary(library);
  return version;
}
std::uint32_t CSystem::GetShell32Version() { return GetDllVersion("shell32.dll"); }
std::uint32_t CSystem::GetShlwapiVersion() { return GetDllVersion("shlwapi.dll"); }
std::uint32_t CSystem::GetComctl32Version() { return GetDllVersion("comctl32.dll"); }
bool CSystem::IsShell32Version(std::uint32_t major, std::uint32_t minor) {
  return GetShell32Version() >= ((major << 16) | minor);
}
bool CSystem::IsShlwapiVersion(std::uint32_t major, std::uint32_t minor) {
  return GetShlwapiVersion() >= ((major << 16) | minor);
}
bool CSystem::IsComctl32Version(std::uint32_t major, std::uint32_t minor) {
  return GetComctl32Version() >= ((major << 16) | minor);
}

bool CSystem::IsNT() { return GetOSVersion().platformId == VER_PLATFORM_WIN32_NT; }
bool CSystem::IsWin98OrLater() { return IsSystemVersionAtLeast(5, 0, 4, 10); }
bool CSystem::IsWinMEOrLater() { return IsSystemVersionAtLeast(5, 0, 4, 90); }
bool CSystem::IsWin2000OrLater() { return IsSystemVersionAtLeast(5, 0, -1, 0); }
bool CSystem::IsWinXPOrLater() { return IsSystemVersionAtLeast(5, 1, -1, 0); }
bool CSystem::IsVistaOrLater() { return IsSystemVersionAtLeast(6, 0, -1, 0); }

namespace {
P<ISystem> MakeSystem() { return make<CSystem>(); }
}  // namespace

}  // namespace lumo::win32

namespace lumo {
const P<ISystem>& GetSystem() { return StaticSingleton<ISystem, &win32::MakeSystem>(); }
}  // namespace lumo
