// Finds the optical drives through libburn (or, when $KVN_SPTI_SYSFS names a
// tree of its own for tests, in that sysfs tree: block devices whose SCSI
// peripheral type is 5, CD/DVD), gives each a drive letter and records them
// in the registry. The program's start only hands over the key; libburn is
// loaded and the drives scanned when the engine first asks for them.
#include "peers/kvn_spti/DriveAccess.h"

#include <dirent.h>
#include <dlfcn.h>
#include <libburn/libburn.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <type_traits>
#include <vector>

#include "compat/win32/Error.h"
#include "compat/win32/Registry.h"
#include "compat/win32/StringConv.h"

namespace {

constexpr std::string_view kOpticalType = "5";

struct Drive {
  std::string device;  // the device file, "/dev/sr0"
  std::string vendor;
  std::string model;
  std::string media;  // what it writes, "CD-R CD-RW DVD-R"; empty when unknown
  char16_t letter = 0;
};

// Blanks that pad SCSI inquiry data, off both ends.
std::string Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1));
}

// A sysfs attribute's first line (its first 255 bytes: the attributes read
// here are short) without the blanks that pad SCSI inquiry data; empty when
// the file cannot be read.
std::string ReadAttribute(const std::string& file) {
  std::FILE* in = std::fopen(file.c_str(), "rb");
  if (in == nullptr) return {};
  char line[256];
  const bool read = std::fgets(line, sizeof line, in) != nullptr;
  std::fclose(in);
  return read ? Trimmed(line) : std::string();
}

std::vector<Drive> FindSysfsDrives(const std::string& root) {
  std::vector<Drive> drives;
  const std::string block = root + "/block/";
  DIR* folder = opendir(block.c_str());
  if (folder == nullptr) return drives;
  // "." and ".." have no device type and drop out with the other entries
  // that are not optical drives.
  while (const dirent* entry = readdir(folder)) {
    const std::string name = entry->d_name;
    const std::string device = block + name + "/device/";
    if (ReadAttribute(device + "type") != kOpticalType) continue;
    drives.push_back({"/dev/" + name, ReadAttribute(device + "vendor"), ReadAttribute(device + "model"), "", 0});
  }
  closedir(folder);
  return drives;
}

// The libburn functions the scan calls, looked up in the library loaded on
// the first scan; all null when it is not installed.
struct Libburn {
  decltype(&burn::burn_initialize) initialize = nullptr;
  decltype(&burn::burn_finish) finish = nullptr;
  decltype(&burn::burn_msgs_set_severities) setSeverities = nullptr;
  decltype(&burn::burn_drive_scan) scan = nullptr;
  decltype(&burn::burn_drive_get_adr) address = nullptr;
  decltype(&burn::burn_drive_info_free) freeInfos = nullptr;

  bool Complete() const { return initialize && finish && setSeverities && scan && address && freeInfos; }
};

// The library stays loaded: its threads and atexit handlers outlive a scan.
const Libburn& LoadedLibburn() {
  static const Libburn functions = [] {
    Libburn found;
    void* module = dlopen("libburn.so.4", RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) return found;
    const auto look = [module](auto& function, const char* name) {
      function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(module, name));
    };
    look(found.initialize, "burn_initialize");
    look(found.finish, "burn_finish");
    look(found.setSeverities, "burn_msgs_set_severities");
    look(found.scan, "burn_drive_scan");
    look(found.address, "burn_drive_get_adr");
    look(found.freeInfos, "burn_drive_info_free");
    return found;
  }();
  return functions;
}

// The drives libburn finds, with the media each can write. libburn is
// started and finished around the scan, which grabs no drive.
std::vector<Drive> FindLibburnDrives() {
  std::vector<Drive> drives;
  const Libburn& burn = LoadedLibburn();
  if (!burn.Complete() || burn.initialize() != 1) return drives;
  burn.setSeverities(const_cast<char*>("NEVER"), const_cast<char*>("NEVER"), const_cast<char*>(""));
  burn::burn_drive_info* infos = nullptr;
  unsigned int count = 0;
  // The scan runs on a thread of libburn's: asked again until it is done, so
  // that no drive operation is still going on when a burn starts later in
  // the same process.
  int scanned = 0;
  while ((scanned = burn.scan(&infos, &count)) == 0) usleep(1000);
  if (scanned > 0) {
    for (unsigned int i = 0; i < count; ++i) {
      char address[BURN_DRIVE_ADR_LEN] = {};
      if (burn.address(&infos[i], address) <= 0) continue;
      std::string media;
      const burn::burn_drive_info& info = infos[i];
      const std::pair<bool, const char*> kinds[] = {{info.write_cdr != 0, "CD-R"}, {info.write_cdrw != 0, "CD-RW"},
                                                    {info.write_dvdr != 0, "DVD-R"}, {info.write_dvdram != 0, "DVD-RAM"}};
      for (const auto& [writes, name] : kinds) {
        if (writes) media += media.empty() ? name : std::string(" ") + name;
      }
      drives.push_back({address, Trimmed(infos[i].vendor), Trimmed(infos[i].product), media, 0});
    }
  }
  if (infos != nullptr) burn.freeInfos(infos);
  burn.finish();
  return drives;
}

// Reads the pins below `<key>\Letters`: values named "E:" holding a device path.
std::vector<std::pair<char16_t, std::string>> ReadPins(HKEY parent) {
  std::vector<std::pair<char16_t, std::string>> pins;
  HKEY key = nullptr;
  if (RegOpenKeyExW(parent, u"Letters", 0, KEY_READ, &key) != ERROR_SUCCESS) return pins;
  for (DWORD index = 0;; ++index) {
    char16_t name[16];
    char16_t data[1024];
    DWORD nameLength = static_cast<DWORD>(std::size(name)), type = 0, bytes = sizeof data;
    const LONG status = RegEnumValueW(key, index, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data), &bytes);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) continue;
    char16_t letter = nameLength == 2 && name[1] == u':' ? name[0] : 0;
    if (letter >= u'a' && letter <= u'z') letter = static_cast<char16_t>(letter - u'a' + u'A');
    if (type != REG_SZ || letter < u'D' || letter > u'Z') continue;
    std::u16string path(data, bytes / sizeof(char16_t));
    while (!path.empty() && path.back() == 0) path.pop_back();
    pins.emplace_back(letter, compat::win32::Utf16ToUtf8(path));
  }
  RegCloseKey(key);
  return pins;
}

// sr2 before sr10: shorter paths first, then by path. A pinned device takes
// its letter; the others take D:, E:, ... in that order, skipping letters
// pinned to any device (present or not), so a pinned letter never moves.
void AssignLetters(std::vector<Drive>& drives, const std::vector<std::pair<char16_t, std::string>>& pins) {
  std::sort(drives.begin(), drives.end(), [](const Drive& a, const Drive& b) {
    return a.device.size() != b.device.size() ? a.device.size() < b.device.size() : a.device < b.device;
  });
  std::vector<bool> taken(26, false);
  for (const auto& [letter, path] : pins) taken[letter - u'A'] = true;
  for (Drive& drive : drives) {
    for (const auto& [letter, path] : pins) {
      if (path == drive.device && drive.letter == 0) drive.letter = letter;
    }
  }
  char16_t next = u'D';
  for (Drive& drive : drives) {
    if (drive.letter != 0) continue;
    while (next <= u'Z' && taken[next - u'A']) ++next;
    if (next > u'Z') break;
    drive.letter = next++;
  }
}

std::vector<Drive> FindOpticalDrives() {
  const char* root = std::getenv("KVN_SPTI_SYSFS");
  return root != nullptr && *root != 0 ? FindSysfsDrives(root) : FindLibburnDrives();
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
  status = SetText(key, u"Device", drive.device);
  if (status == ERROR_SUCCESS) status = SetOrDeleteText(key, u"Vendor", drive.vendor);
  if (status == ERROR_SUCCESS) status = SetOrDeleteText(key, u"Model", drive.model);
  if (status == ERROR_SUCCESS) status = SetOrDeleteText(key, u"Media", drive.media);
  const char letter[3] = {static_cast<char>(drive.letter), ':', 0};
  if (status == ERROR_SUCCESS) status = SetOrDeleteText(key, u"Letter", drive.letter != 0 ? letter : "");
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
    bool current = std::u16string_view(name, length) == u"Letters";
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

// Scanning at the program's start would cost every start the scan, some
// milliseconds of libburn's thread polling devices, for the few runs that
// burn; the engine calls ScanWmiDrives when it needs the list instead.
KVN_SPTI_API std::int32_t WINAPI InitWmiDrives(const char16_t* registryKeyText) {
  return registryKeyText == nullptr || *registryKeyText == 0 ? -1 : 0;
}

KVN_SPTI_API std::int32_t WINAPI ScanWmiDrives(const char16_t* registryKeyText) {
  if (registryKeyText == nullptr || *registryKeyText == 0) return -1;
  std::vector<Drive> drives = FindOpticalDrives();
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, registryKeyText, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return -1;
  AssignLetters(drives, ReadPins(key));
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
