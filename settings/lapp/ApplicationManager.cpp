// The managers' common part, the installed edition's manager and the factory.
#include "settings/lapp/ApplicationManager.h"

#include <atomic>
#include <chrono>
#include <stdexcept>

#include "compat/win32/Error.h"
#include "compat/win32/File.h"
#include "compat/win32/Process.h"
#include "compat/win32/Sync.h"
#include "settings/lapp/AppmanError.h"

namespace lapp {
namespace {

// Folder services the managers need until the system object offers them:
// a uniquely named folder, and removal of a folder with all it holds.

std::u16string WithBackslash(std::u16string path) {
  if (!path.empty() && path.back() != u'\\' && path.back() != u'/') path += u'\\';
  return path;
}

std::u16string Hex(std::uint64_t value) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  std::u16string text;
  do {
    text.insert(text.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return text;
}

// Creates `parent` + prefix + a unique part + suffix; empty when the parent
// cannot hold a new folder.
std::u16string CreateUniqueFolder(const std::u16string& parent, std::u16string_view prefix,
                                  std::u16string_view suffix) {
  static std::atomic<std::uint32_t> counter{0};
  const std::u16string base = WithBackslash(parent);
  const auto now = static_cast<std::uint64_t>(
      std::chrono::steady_clock::now().time_since_epoch().count());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::uint64_t unique =
        (now ^ (static_cast<std::uint64_t>(GetCurrentProcessId()) << 32)) + counter++;
    std::u16string path = base;
    path += prefix;
    path += Hex(unique & 0xFFFFFFFFFFull);
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

}  // namespace

std::u16string CApplicationManager::GetTempFolder() {
  if (tempFolder.empty()) tempFolder = CreateUniqueFolder(SystemTempFolder(), u"app_", u"_temp");
  return tempFolder;
}

void CApplicationManager::SetTempFolderParent(const char16_t* parentFolder) {
  const std::u16string parent = parentFolder ? parentFolder : u"";
  CreateFolderWithParents(parent);
  std::u16string created = CreateUniqueFolder(parent, u"app_", u"_temp");
  if (created.empty()) return;
  if (!tempFolder.empty()) DeleteFolder(tempFolder);
  tempFolder = std::move(created);
}

void CApplicationManager::StopCommonTail() {
  if (tempFolder.empty()) return;
  DeleteFolder(tempFolder);
  tempFolder.clear();
}

bool CNormalAppManager::Start() {
  FailWhenStarted();
  started = true;
  return true;
}

bool CNormalAppManager::Stop() {
  if (!started) throw CAppmanError(CAppmanError::kNotStarted);
  started = false;
  StopCommonTail();
  return true;
}

bool CNormalAppManager::AddRegistrySection(const char16_t*, const char16_t*, std::int32_t) {
  FailWhenStarted();
  return true;
}

bool CNormalAppManager::AddFolder(const char16_t*, std::int32_t) {
  FailWhenStarted();
  return true;
}

bool CNormalAppManager::AddFile(const char16_t*, std::int32_t) {
  FailWhenStarted();
  return true;
}

void CNormalAppManager::Destroy() {
  if (started) throw CAppmanError(CAppmanError::kStillStarted);
  delete this;
}

void CNormalAppManager::FailWhenStarted() const {
  if (started) throw CAppmanError(CAppmanError::kAlreadyStarted);
}

IApplicationManager* CreateAppManager(const char16_t* /*programFolder*/,
                                      const char16_t* /*dataStorePath*/,
                                      const char16_t* /*initialArchivePath*/, bool portable) {
  // This build ships the installed edition only; the portable manager joins
  // with the data-store archives it depends on.
  if (portable) throw std::logic_error("the portable edition's manager is not part of this build");
  return new CNormalAppManager();
}

}  // namespace lapp
