// Finds the optical drives in sysfs (block devices whose SCSI peripheral type
// is 5, CD/DVD) and records them in the registry. $KVN_SPTI_SYSFS replaces
// /sys, so tests can hand it a tree of their own.
#include "peers/kvn_spti/DriveAccess.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "compat/win32/Error.h"
#include "compat/win32/Registry.h"
#include "compat/win32/StringConv.h"

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kOpticalType = "5";

struct Drive {
  std::string name;  // the block device, "sr0"
  std::string vendor;
  std::string model;
};

// A sysfs attribute's first line without the blanks that pad SCSI inquiry data.
std::string ReadAttribute(const fs::path& file) {
  std::ifstream in(file);
  std::string text;
  std::getline(in, text);
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::vector<Drive> FindOpticalDrives() {
  const char* root = std::getenv("KVN_SPTI_SYSFS");
  const fs::path block = fs::path(root != nullptr && *root != 0 ? root : "/sys") / "block";
  std::vector<Drive> drives;
  std::error_code error;
  for (fs::directory_iterator it(block, error), end; !error && it != end; it.increment(error)) {
    const fs::path device = it->path() / "device";
    if (ReadAttribute(device / "type") != kOpticalType) continue;
    drives.push_back({it->path().filename().string(), ReadAttribute(device / "vendor"),
                      ReadAttribute(device / "model")});
  }
  // sr2 before sr10: shorter names first, then by name.
  std::sort(drives.begin(), drives.end(), [](const Drive& a, const Drive& b) {
    return a.name.size() != b.name.size() ? a.name.size() < b.name.size() : a.name < b.name;
  });
  return drives;
}

LONG SetText(HKEY key, const char16_t* name, const std::string& text) {
  const std::u16string value = compat::win32::Utf8ToUtf16(text);
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
}

// An attribute the drive does not report leaves no value behind.
LONG SetOrDeleteText(HKEY key, const char16_t* name, const std::string& text) {
  if (!text.empty()) return SetText(key, name, text);
  const LONG status = RegDeleteValueW(key, name);
  return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

LONG RecordDrive(HKEY parent, size_t index, const Drive& drive) {
  HKEY key = nullptr;
  const std::u16string name = compat::win32::Utf8ToUtf16(std::to_string(index));
  LONG status = RegCreateKeyExW(parent, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return status;
  status = SetText(key, u"Device", "/dev/" + drive.name);
  if (status == ERROR_SUCCESS) status = SetOrDeleteText(key, u"Vendor", drive.vendor);
  if (status == ERROR_SUCCESS) status = SetOrDeleteText(key, u"Model", drive.model);
  RegCloseKey(key);
  return status;
}

// Removes the drive keys an earlier run recorded beyond the drives there now.
LONG ForgetDrivesFrom(HKEY parent, size_t count) {
  std::vector<std::u16string> stale;
  char16_t name[256];
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(std::size(name));
    const LONG status = RegEnumKeyExW(parent, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) return status;
    bool current = false;
    for (size_t i = 0; i < count && !current; ++i)
      current = std::u16string_view(name, length) == compat::win32::Utf8ToUtf16(std::to_string(i));
    if (!current) stale.emplace_back(name, length);
  }
  for (const std::u16string& key : stale) {
    const LONG status = RegDeleteTreeW(parent, key.c_str());
    if (status != ERROR_SUCCESS) return status;
  }
  return ERROR_SUCCESS;
}

}  // namespace

KVN_SPTI_API std::int32_t WINAPI InitWmiDrives(const char16_t* registryKeyText) {
  if (registryKeyText == nullptr || *registryKeyText == 0) return -1;
  const std::vector<Drive> drives = FindOpticalDrives();
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, registryKeyText, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return -1;
  // Values written as they stand cost nothing, so a start on an unchanged
  // machine writes nothing to disk.
  LONG status = ERROR_SUCCESS;
  for (size_t i = 0; status == ERROR_SUCCESS && i < drives.size(); ++i)
    status = RecordDrive(key, i, drives[i]);
  if (status == ERROR_SUCCESS) status = ForgetDrivesFrom(key, drives.size());
  const DWORD count = static_cast<DWORD>(drives.size());
  if (status == ERROR_SUCCESS)
    status = RegSetValueExW(key, u"Count", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count),
                            sizeof count);
  RegCloseKey(key);
  return status == ERROR_SUCCESS ? static_cast<std::int32_t>(count) : -1;
}
