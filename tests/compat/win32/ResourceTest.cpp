// LoadImageW over the resource tables the build puts into modules: which
// image an icon size picks, shared and own handles, errors, and the metrics.
//
// This program carries icon 128 as 48, 16 and 32 pixels (in that order) and
// bitmap 104; the test module carries icon 7.
#include "compat/win32/Resource.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "compat/win32/Error.h"
#include "compat/win32/Module.h"
#include "tests/support/TestSupport.h"

namespace {

struct Loaded {
  HANDLE handle;
  int width;
  int height;
};

Loaded Load(HINSTANCE instance, int id, UINT type, int cx, int cy, UINT flags) {
  Loaded loaded{LoadImageW(instance, MAKEINTRESOURCEW(id), type, cx, cy, flags), -1, -1};
  if (loaded.handle != nullptr) {
    EXPECT_TRUE(compat::win32::ImageOfHandle(loaded.handle, nullptr, nullptr, &loaded.width, &loaded.height));
  }
  return loaded;
}

TEST(Resource, AnIconPicksTheImageNearestTheAskedSize) {
  const HINSTANCE program = GetModuleHandleW(nullptr);
  struct Case {
    int cx, cy;
    UINT flags;
    int width;
  };
  const Case cases[] = {
      {16, 16, 0, 16}, {32, 32, 0, 32}, {48, 48, 0, 48}, {20, 20, 0, 16}, {64, 64, 0, 48},
      // Halfway between two: the larger.
      {24, 24, 0, 32}, {40, 40, 0, 48},
      // One dimension given.
      {0, 30, 0, 32},
      // No size: the default icon size, or else the first image.
      {0, 0, LR_DEFAULTSIZE, 32}, {0, 0, 0, 48},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.cx << "x" << c.cy << " flags " << c.flags);
    const Loaded icon = Load(program, 128, IMAGE_ICON, c.cx, c.cy, c.flags);
    ASSERT_NE(icon.handle, nullptr);
    EXPECT_EQ(icon.width, c.width);
    EXPECT_EQ(icon.height, c.width);
    EXPECT_TRUE(DestroyIcon(static_cast<HICON>(icon.handle)));
  }

  // The handle gives the very bytes of the file that was built in.
  const Loaded small = Load(program, 128, IMAGE_ICON, 16, 16, 0);
  const unsigned char* bytes = nullptr;
  std::size_t size = 0;
  ASSERT_TRUE(compat::win32::ImageOfHandle(small.handle, &bytes, &size, nullptr, nullptr));
  const std::string file = testing_support::ReadFile(testing_support::SourceDir() + "/resources/orbweave-16.png");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), size), file);
  DestroyIcon(static_cast<HICON>(small.handle));
}

TEST(Resource, SharedHandlesLastOwnHandlesAreFreed) {
  const HINSTANCE program = GetModuleHandleW(nullptr);
  const HANDLE shared = LoadImageW(program, MAKEINTRESOURCEW(128), IMAGE_ICON, 32, 32, LR_SHARED);
  ASSERT_NE(shared, nullptr);
  EXPECT_EQ(LoadImageW(program, MAKEINTRESOURCEW(128), IMAGE_ICON, 30, 30, LR_SHARED), shared);
  EXPECT_NE(LoadImageW(program, MAKEINTRESOURCEW(128), IMAGE_ICON, 16, 16, LR_SHARED), shared);
  EXPECT_TRUE(DestroyIcon(static_cast<HICON>(shared)));
  EXPECT_TRUE(compat::win32::ImageOfHandle(shared, nullptr, nullptr, nullptr, nullptr));

  const HANDLE own = LoadImageW(program, MAKEINTRESOURCEW(128), IMAGE_ICON, 32, 32, 0);
  const HANDLE other = LoadImageW(program, MAKEINTRESOURCEW(128), IMAGE_ICON, 32, 32, 0);
  EXPECT_NE(own, other);
  EXPECT_NE(own, shared);
  EXPECT_TRUE(DestroyIcon(static_cast<HICON>(own)));
  EXPECT_FALSE(compat::win32::ImageOfHandle(own, nullptr, nullptr, nullptr, nullptr));
  SetLastError(0);
  EXPECT_FALSE(DestroyIcon(static_cast<HICON>(own)));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_CURSOR_HANDLE));
  EXPECT_TRUE(compat::win32::ImageOfHandle(other, nullptr, nullptr, nullptr, nullptr));
  DestroyIcon(static_cast<HICON>(other));

  // A bitmap is freed with DeleteObject, not DestroyIcon.
  const Loaded bitmap = Load(program, 104, IMAGE_BITMAP, 0, 0, 0);
  ASSERT_NE(bitmap.handle, nullptr);
  EXPECT_EQ(bitmap.width, 48);
  EXPECT_FALSE(DestroyIcon(static_cast<HICON>(bitmap.handle)));
  EXPECT_TRUE(DeleteObject(bitmap.handle));
  EXPECT_FALSE(DeleteObject(bitmap.handle));
}

TEST(Resource, EachModuleHasItsOwnResources) {
  const HINSTANCE program = GetModuleHandleW(nullptr);
  const HMODULE module = LoadLibraryW(u"compat_testmodule.dll");
  ASSERT_NE(module, nullptr);
  const Loaded fromModule = Load(module, 7, IMAGE_ICON, 16, 16, 0);
  ASSERT_NE(fromModule.handle, nullptr);
  EXPECT_EQ(fromModule.width, 16);
  DestroyIcon(static_cast<HICON>(fromModule.handle));

  struct Case {
    const char* what;
    HINSTANCE instance;
    LPCWSTR name;
    UINT type;
    DWORD error;
  };
  const Case cases[] = {
      {"the program's icon from the module", module, MAKEINTRESOURCEW(128), IMAGE_ICON, ERROR_RESOURCE_NAME_NOT_FOUND},
      {"the module's icon from the program", program, MAKEINTRESOURCEW(7), IMAGE_ICON, ERROR_RESOURCE_NAME_NOT_FOUND},
      {"an unknown number", program, MAKEINTRESOURCEW(999), IMAGE_ICON, ERROR_RESOURCE_NAME_NOT_FOUND},
      {"a name", program, u"ICON", IMAGE_ICON, ERROR_RESOURCE_NAME_NOT_FOUND},
      {"a type the program has none of", program, MAKEINTRESOURCEW(128), IMAGE_CURSOR,
       ERROR_RESOURCE_TYPE_NOT_FOUND},
      {"no such image type", program, MAKEINTRESOURCEW(128), 7, ERROR_INVALID_PARAMETER},
      {"no instance", nullptr, MAKEINTRESOURCEW(128), IMAGE_ICON, ERROR_RESOURCE_DATA_NOT_FOUND},
      {"a module without resources", GetModuleHandleW(u"compat_win32.dll"), MAKEINTRESOURCEW(128), IMAGE_ICON,
       ERROR_RESOURCE_DATA_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetLastError(0);
    EXPECT_EQ(LoadImageW(c.instance, c.name, c.type, 32, 32, 0), nullptr);
    EXPECT_EQ(GetLastError(), c.error);
  }
  EXPECT_TRUE(FreeLibrary(module));
}

TEST(Resource, SystemMetrics) {
  EXPECT_EQ(GetSystemMetrics(SM_CXICON), 32);
  EXPECT_EQ(GetSystemMetrics(SM_CYICON), 32);
  EXPECT_EQ(GetSystemMetrics(SM_CXSMICON), 16);
  EXPECT_EQ(GetSystemMetrics(SM_CYSMICON), 16);
  EXPECT_EQ(GetSystemMetrics(9999), 0);
  const std::pair<const char*, std::pair<int, int>> screens[] = {
      {nullptr, {1024, 768}},      {"1920x1080", {1920, 1080}}, {"800x600x2", {1024, 768}},
      {"0x600", {1024, 768}},      {"wide", {1024, 768}},       {"1280x", {1024, 768}},
  };
  for (const auto& [value, size] : screens) {
    SCOPED_TRACE(value != nullptr ? value : "unset");
    if (value != nullptr) {
      setenv("COMPAT_SCREEN_SIZE", value, 1);
    } else {
      unsetenv("COMPAT_SCREEN_SIZE");
    }
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), size.first);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), size.second);
  }
  unsetenv("COMPAT_SCREEN_SIZE");
}

}  // namespace
