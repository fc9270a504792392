// Reading the recorded drives from the registry.
#include "peers/orbcore/Drives.h"

#include <cctype>

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

}  // namespace

std::vector<RecordedDrive> RecordedDrives(const std::string& settingsKey) {
  const std::u16string base = compat::win32::Utf8ToUtf16(settingsKey) + u"\\drives\\";
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
