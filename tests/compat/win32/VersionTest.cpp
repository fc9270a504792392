// GetVersionExW answers as the system the machine hive names.
#include "compat/win32/Version.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "compat/win32/StringConv.h"
#include "tests/compat/win32/Win32Expect.h"
#include "tests/support/IsolatedTest.h"
#include "tests/support/Registry.h"
#include "tests/support/TestSupport.h"

namespace {

using Version = testing_support::IsolatedTest;

TEST_F(Version, TheEmulatedSystemAnswersAsItself) {
  struct Case {
    const char16_t* name;
    DWORD major, minor, build, platform;
    const char16_t* servicePack;
    WORD servicePackMajor;
    BYTE productType;
  };
  const Case cases[] = {
      // The 9x family carries major and minor in the build number's high word.
      {u"win95", 4, 0, 0x040003B6, VER_PLATFORM_WIN32_WINDOWS, u"", 0, 0},
      {u"winme", 4, 90, 0x045A0BB8, VER_PLATFORM_WIN32_WINDOWS, u"", 0, 0},
      {u"win2003", 5, 2, 3790, VER_PLATFORM_WIN32_NT, u"Service Pack 2", 2, VER_NT_SERVER},
      // Names compare without case; an unknown one is the default.
      {u"WinXP", 5, 1, 2600, VER_PLATFORM_WIN32_NT, u"Service Pack 3", 3, VER_NT_WORKSTATION},
      {u"os2warp", 10, 0, 19045, VER_PLATFORM_WIN32_NT, u"", 0, VER_NT_WORKSTATION},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(compat::win32::Utf16ToUtf8(c.name));
    testing_support::SetRegString(HKEY_LOCAL_MACHINE, u"Software\\Win32Compat", u"Version", c.name);
    OSVERSIONINFOEXW info;
    std::memset(&info, 0xcc, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info)));
    EXPECT_EQ(std::tie(info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber, info.dwPlatformId,
                       info.wServicePackMajor, info.wProductType),
              std::tie(c.major, c.minor, c.build, c.platform, c.servicePackMajor, c.productType));
    EXPECT_EQ(std::u16string(info.szCSDVersion), c.servicePack);
    EXPECT_EQ(info.wServicePackMinor + info.wSuiteMask + info.wReserved, 0);
  }
}

TEST_F(Version, NoSettingIsWindows10AndOnlyTheTwoSizesAreServed) {
  OSVERSIONINFOEXW info;
  std::memset(&info, 0xcc, sizeof info);
  info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
  auto* plain = reinterpret_cast<OSVERSIONINFOW*>(&info);
  ASSERT_TRUE(GetVersionExW(plain));
  EXPECT_EQ(info.dwBuildNumber, 19045u);
  EXPECT_EQ(info.wServicePackMajor, 0xcccc);  // the short form ends before it
  // A number where a name belongs counts as no setting.
  testing_support::SetRegDword(HKEY_LOCAL_MACHINE, u"Software\\Win32Compat", u"Version", 95);
  ASSERT_TRUE(GetVersionExW(plain));
  EXPECT_EQ(info.dwBuildNumber, 19045u);
  std::memset(&info, 0xcc, sizeof info);
  info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW) + 1;
  EXPECT_WIN32(GetVersionExW(plain), FALSE, ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(info.dwMajorVersion, 0xccccccccu);
}

}  // namespace
