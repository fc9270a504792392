// The user's special folders from the freedesktop user directories, and the
// registry's Shell Folders key filled from them when a user hive is first
// opened, as the desktop writes it when a profile is made.
#include "compat/win32/ShellFolders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string_view>

#include "compat/win32/ConfigFile.h"
#include "compat/win32/Path.h"
#include "compat/win32/Registry.h"
#include "compat/win32/RegistryHive.h"
#include "compat/win32/Shell.h"

namespace compat::win32 {
namespace {

std::string Home() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
  const passwd* entry = getpwuid(getuid());
  return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "/";
}

// A base directory variable; only an absolute value counts.
std::string BaseDir(const char* variable, std::string_view fallback) {
  if (const char* value = std::getenv(variable); value != nullptr && value[0] == '/') return value;
  return Home() + "/" + std::string(fallback);
}

// An entry of user-dirs.dirs, or the fallback below $HOME.
std::string UserDir(std::string_view entry, std::string_view fallback) {
  const std::string home = Home();
  const std::optional<std::string> text = ReadConfigFile(BaseDir("XDG_CONFIG_HOME", ".config") + "/user-dirs.dirs");
  std::string found = text ? UserDirsEntry(*text, entry, home) : std::string();
  return found.empty() ? home + "/" + std::string(fallback) : found;
}

}  // namespace

// XDG_DESKTOP_DIR="$HOME/Desktop": a value that is neither absolute nor below
// $HOME is ignored, as the desktop ignores it; the last valid line counts.
std::string UserDirsEntry(std::string_view text, std::string_view entry, const std::string& home) {
  std::string found;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (line.size() < entry.size() + 3 || !line.starts_with(entry) || line.substr(entry.size(), 2) != "=\"" ||
        !line.ends_with('"')) {
      continue;
    }
    const std::string_view value = line.substr(entry.size() + 2, line.size() - entry.size() - 3);
    if (value.starts_with("$HOME")) found = home + std::string(value.substr(5));
    else if (value.starts_with('/')) found = value;
  }
  return found;
}

namespace {

constexpr std::u16string_view kShellFoldersPath[] = {u"Software", u"Microsoft", u"Windows", u"CurrentVersion",
                                                      u"Explorer", u"Shell Folders"};

}  // namespace

std::string SpecialFolderPath(int folder) {
  switch (folder) {
    case CSIDL_DESKTOP:
    case CSIDL_DESKTOPDIRECTORY: return UserDir("XDG_DESKTOP_DIR", "Desktop");
    case CSIDL_PERSONAL: return UserDir("XDG_DOCUMENTS_DIR", "Documents");
    case CSIDL_APPDATA: return BaseDir("XDG_CONFIG_HOME", ".config");
    case CSIDL_LOCAL_APPDATA: return BaseDir("XDG_DATA_HOME", ".local/share");
    case CSIDL_WINDOWS: return "/";
    default: return "";
  }
}

void FillShellFolders(registry::Hive& hive) {
  if (hive.Begin(false) != ERROR_SUCCESS) return;
  registry::KeyId key = registry::kRootKey;
  bool present = true;
  for (std::u16string_view level : kShellFoldersPath) {
    if (hive.Find(key, level, &key) != ERROR_SUCCESS) {
      present = false;
      break;
    }
  }
  hive.Rollback();
  if (present || !hive.Writable() || hive.Begin(true) != ERROR_SUCCESS) return;
  key = registry::kRootKey;
  for (std::u16string_view level : kShellFoldersPath) {
    if (hive.Create(key, level, u"", &key, nullptr) != ERROR_SUCCESS) return hive.Rollback();
  }
  const struct {
    const char16_t* name;
    int folder;
  } kValues[] = {{u"Desktop", CSIDL_DESKTOP},
                 {u"Personal", CSIDL_PERSONAL},
                 {u"AppData", CSIDL_APPDATA},
                 {u"Local AppData", CSIDL_LOCAL_APPDATA}};
  for (const auto& value : kValues) {
    const std::u16string path = WindowsPath(SpecialFolderPath(value.folder));
    const auto size = static_cast<DWORD>((path.size() + 1) * sizeof(char16_t));
    if (hive.SetValue(key, value.name, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()), size) != ERROR_SUCCESS) {
      return hive.Rollback();
    }
  }
  hive.Commit();
}

}  // namespace compat::win32
