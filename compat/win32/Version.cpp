// The emulated Windows version, named by the machine hive's
// Software\Win32Compat "Version" and answered as that system answers.
#include "compat/win32/Version.h"

#include <cstring>
#include <string_view>

#include "compat/win32/CaseRules.h"
#include "compat/win32/Error.h"
#include "compat/win32/Registry.h"

namespace {

struct WindowsRelease {
  std::u16string_view name;
  DWORD major;
  DWORD minor;
  DWORD build;
  DWORD platform;
  std::u16string_view servicePack;  // szCSDVersion
  WORD servicePackMajor;
  BYTE productType;
};

// Each system as it stands with its last service pack, where it had one.
constexpr WindowsRelease kReleases[] = {
    {u"win95", 4, 0, 950, VER_PLATFORM_WIN32_WINDOWS, u"", 0, 0},
    {u"win98", 4, 10, 1998, VER_PLATFORM_WIN32_WINDOWS, u"", 0, 0},
    {u"winme", 4, 90, 3000, VER_PLATFORM_WIN32_WINDOWS, u"", 0, 0},
    {u"nt40", 4, 0, 1381, VER_PLATFORM_WIN32_NT, u"Service Pack 6", 6, VER_NT_WORKSTATION},
    {u"win2k", 5, 0, 2195, VER_PLATFORM_WIN32_NT, u"Service Pack 4", 4, VER_NT_WORKSTATION},
    {u"winxp", 5, 1, 2600, VER_PLATFORM_WIN32_NT, u"Service Pack 3", 3, VER_NT_WORKSTATION},
    {u"win2003", 5, 2, 3790, VER_PLATFORM_WIN32_NT, u"Service Pack 2", 2, VER_NT_SERVER},
    {u"vista", 6, 0, 6002, VER_PLATFORM_WIN32_NT, u"Service Pack 2", 2, VER_NT_WORKSTATION},
    {u"win7", 6, 1, 7601, VER_PLATFORM_WIN32_NT, u"Service Pack 1", 1, VER_NT_WORKSTATION},
    {u"win10", 10, 0, 19045, VER_PLATFORM_WIN32_NT, u"", 0, VER_NT_WORKSTATION},
};
constexpr const WindowsRelease& kDefaultRelease = kReleases[std::size(kReleases) - 1];

// The release the machine hive names; the newest for none or an unknown name.
const WindowsRelease& EmulatedRelease() {
  std::u16string name;
  if (compat::win32::ReadRegText(HKEY_LOCAL_MACHINE, u"Software\\Win32Compat", u"Version", &name) !=
      ERROR_SUCCESS)
    return kDefaultRelease;
  for (const WindowsRelease& release : kReleases) {
    if (compat::win32::SameAsciiNoCase(release.name, name)) return release;
  }
  return kDefaultRelease;
}

}  // namespace

BOOL WINAPI GetVersionExW(LPOSVERSIONINFOW info) {
  if (info == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const DWORD size = info->dwOSVersionInfoSize;
  if (size != sizeof(OSVERSIONINFOW) && size != sizeof(OSVERSIONINFOEXW)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  const WindowsRelease& release = EmulatedRelease();
  info->dwMajorVersion = release.major;
  info->dwMinorVersion = release.minor;
  // The Windows 9x family puts the version in the build number's high word.
  info->dwBuildNumber = release.platform == VER_PLATFORM_WIN32_WINDOWS
                            ? (release.major << 24) | (release.minor << 16) | release.build
                            : release.build;
  info->dwPlatformId = release.platform;
  std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
  std::memcpy(info->szCSDVersion, release.servicePack.data(), release.servicePack.size() * sizeof(WCHAR));
  if (size == sizeof(OSVERSIONINFOEXW)) {
    auto* ex = reinterpret_cast<OSVERSIONINFOEXW*>(info);
    ex->wServicePackMajor = release.servicePackMajor;
    ex->wServicePackMinor = 0;
    ex->wSuiteMask = 0;
    ex->wProductType = release.productType;
    ex->wReserved = 0;
  }
  return TRUE;
}
