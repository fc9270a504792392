// Reading the recorded drives from the registry.
#include "peers/orbcore/Drives.h"

#include <cctype>
#include <mutex>
#include <set>

#include "compat/win32/Module.h"
#include "compat/win32/Registry.h"
#include "compat/win32/StringConv.h"

namespace orbcore {

namespace {

std::optional<std::string> ReadText(HKEY key, const char16_t* name) {
  char16_t data[1024] = {};
  DWORD type = 0, bytes = sizeof data - sizeof(char16_t);
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &bytes) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return std::nullopt;
  }
  return compat::win32::Utf16ToUtf8(data);
}

// The program's start leaves the scan to the engine: the drive library
// records the drives the first time a run needs them, once per key.
void ScanOnce(const std::u16string& drivesKey) {
  static std::mutex mutex;
  static std::set<std::u16string> scanned;
  const std::lock_guard lock(mutex);
  if (!scanned.insert(drivesKey).second) return;
  using ScanProc = std::int32_t(WINAPI*)(const char16_t*);
  HMODULE library = LoadLibraryW(u"kvn_spti.dll");
  if (library == nullptr) return;
  if (auto scan = reinterpret_cast<ScanProc>(GetProcAddress(library, "ScanWmiDrives"))) scan(drivesKey.c_str());
}

}  // namespace

std::vector<RecordedDrive> RecordedDrives(const std::string& settingsKey) {
  const std::u16string drivesKey = compat::win32::Utf8ToUtf16(settingsKey) + u"\\drives";
  ScanOnce(drivesKey);
  const std::u16string base = drivesKey + u"\\";
  std::vector<RecordedDrive> drives;
  for (int index = 0;; ++index) {
    HKEY key = nullptr;
    const std::u16string name = base + compat::win32::Utf8ToUtf16(std::to_string(index));
    if (RegOpenKeyExW(HKEY_CURRENT_USER, name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return drives;
    RecordedDrive drive;
    drive.device = ReadText(key, u"Device").value_or("");
    drive.letter = ReadText(key, u"Letter").value_or("");
    drive.name = ReadText(key, u"Vendor").value_or("");
    const std::string model = ReadText(key, u"Model").value_or("");
    drive.name += drive.name.empty() || model.empty() ? model : " " + model;
    RegCloseKey(key);
    if (!drive.device.empty()) drives.push_back(std::move(drive));
  }
}

std::optional<std::string> ChosenDrive(const std::string& settingsKey, const std::optional<std::string>& letter) {
  const char wanted = letter && !letter->empty() ? static_cast<char>(std::toupper(static_cast<unsigned char>((*letter)[0]))) : 0;
  for (const RecordedDrive& drive : RecordedDrives(settingsKey)) {
    if (wanted == 0 || (!drive.letter.empty() && drive.letter[0] == wanted)) return drive.device;
  }
  return std::nullopt;
}

}  // namespace orbcore
