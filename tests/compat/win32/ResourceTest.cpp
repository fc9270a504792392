// LoadImageW over the resource tables built into modules. This program carries icon 128 as
// 48, 16 and 32 pixels (in that order), bitmap 104, damaged bitmaps 201 to 204, icon 205 as
// 48, a damaged 16 and 32 pixels, and icon 206 as only that damaged image; the test module
// carries icon 7.
#include "compat/win32/Resource.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>

#include "compat/win32/Module.h"
#include "tests/compat/win32/Win32Expect.h"
#include "tests/support/IsolatedTest.h"
#include "tests/support/TestSupport.h"

namespace {

// The width of the image behind a handle, -1 for none.
int WidthOf(HANDLE image) {
  int width = -1, height = -1;
  compat::win32::ImageOfHandle(image, nullptr, nullptr, &width, &height);
  EXPECT_EQ(width, height);
  return width;
}

HANDLE Load(int id, UINT type, int cx, int cy, UINT flags, HINSTANCE instance = GetModuleHandleW(nullptr)) {
  return LoadImageW(instance, MAKEINTRESOURCEW(id), type, cx, cy, flags);
}

TEST(Resource, AnIconPicksTheImageNearestTheAskedSize) {
  // Asked width and height, flags, the width picked.
  const std::tuple<int, int, UINT, int> cases[] = {
      {20, 20, 0, 16}, {64, 64, 0, 48}, {24, 24, 0, 32}, {40, 40, 0, 48},  // halfway: the larger
      {0, 30, 0, 32}, {0, 0, LR_DEFAULTSIZE, 32}, {16, 0, LR_DEFAULTSIZE, 32},  // the default height
      {0, 0, 0, 48},                                                               // no size: the first image
  };
  for (const auto& [cx, cy, flags, width] : cases) {
    const HANDLE icon = Load(128, IMAGE_ICON, cx, cy, flags);
    EXPECT_EQ(WidthOf(icon), width) << cx << "x" << cy << " flags " << flags;
    EXPECT_TRUE(DestroyIcon(static_cast<HICON>(icon)));
  }
  // The handle gives the very bytes of the file that was built in.
  const HANDLE small = Load(128, IMAGE_ICON, 16, 16, 0);  // an exact size
  const unsigned char* bytes = nullptr;
  std::size_t size = 0;
  ASSERT_TRUE(compat::win32::ImageOfHandle(small, &bytes, &size, nullptr, nullptr));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), size),
            testing_support::ReadFile(testing_support::SourceDir() + "/resources/orbweave-16.png"));
  DestroyIcon(static_cast<HICON>(small));
}

TEST(Resource, SharedHandlesLastOwnHandlesAreFreed) {
  const HANDLE shared = Load(128, IMAGE_ICON, 32, 32, LR_SHARED);
  EXPECT_EQ(Load(128, IMAGE_ICON, 30, 30, LR_SHARED), shared);  // the same image
  EXPECT_NE(Load(128, IMAGE_ICON, 16, 16, LR_SHARED), shared);
  EXPECT_TRUE(DestroyIcon(static_cast<HICON>(shared)));
  EXPECT_EQ(WidthOf(shared), 32);
  const HANDLE own = Load(128, IMAGE_ICON, 32, 32, 0);
  EXPECT_NE(own, Load(128, IMAGE_ICON, 32, 32, 0));
  EXPECT_TRUE(DestroyIcon(static_cast<HICON>(own)));
  EXPECT_EQ(WidthOf(own), -1);
  EXPECT_WIN32(DestroyIcon(static_cast<HICON>(own)), FALSE, ERROR_INVALID_CURSOR_HANDLE);
  // A bitmap is freed with DeleteObject, not DestroyIcon.
  const HANDLE bitmap = Load(104, IMAGE_BITMAP, 0, 0, 0);
  EXPECT_EQ(WidthOf(bitmap), 48);
  EXPECT_FALSE(DestroyIcon(static_cast<HICON>(bitmap)));
  EXPECT_TRUE(DeleteObject(bitmap));
  EXPECT_FALSE(DeleteObject(bitmap));
}

TEST(Resource, EachModuleHasItsOwnResources) {
  const HINSTANCE program = GetModuleHandleW(nullptr);
  const HMODULE module = LoadLibraryW(u"compat_testmodule.dll");
  const HANDLE fromModule = Load(7, IMAGE_ICON, 16, 16, 0, module);
  EXPECT_EQ(WidthOf(fromModule), 16);
  DestroyIcon(static_cast<HICON>(fromModule));
  EXPECT_WIN32(Load(128, IMAGE_ICON, 32, 32, 0, module), nullptr, ERROR_RESOURCE_NAME_NOT_FOUND);
  EXPECT_WIN32(LoadImageW(program, u"ICON", IMAGE_ICON, 32, 32, 0), nullptr, ERROR_RESOURCE_NAME_NOT_FOUND);
  EXPECT_WIN32(Load(128, IMAGE_CURSOR, 32, 32, 0), nullptr, ERROR_RESOURCE_TYPE_NOT_FOUND);
  EXPECT_WIN32(Load(128, 7, 32, 32, 0), nullptr, ERROR_INVALID_PARAMETER);
  EXPECT_WIN32(Load(128, IMAGE_ICON, 32, 32, 0, nullptr), nullptr, ERROR_RESOURCE_DATA_NOT_FOUND);
  EXPECT_WIN32(Load(128, IMAGE_ICON, 32, 32, 0, GetModuleHandleW(u"compat_win32.dll")), nullptr,
               ERROR_RESOURCE_DATA_NOT_FOUND);
  EXPECT_TRUE(FreeLibrary(module));
}

// Bitmaps 201 to 203 are cut off, not a picture at all, and one byte changed. Only whole chunks
// with their check sums are asked for: image data that does not inflate (204) is the drawer's to find.
TEST(Resource, ADamagedPictureIsNoBitmap) {
  for (const int id : {201, 202, 203}) {
    SCOPED_TRACE(id);
    EXPECT_WIN32(Load(id, IMAGE_BITMAP, 0, 0, 0), nullptr, ERROR_INVALID_DATA);
  }
  EXPECT_TRUE(DeleteObject(Load(204, IMAGE_BITMAP, 0, 0, 0)));
  // Of an icon's images, a damaged one is passed over for the next nearest, each time it is asked for.
  for (int round = 0; round < 2; ++round) {
    for (const auto& [cx, width] : {std::pair{16, 32}, std::pair{48, 48}, std::pair{0, 48}}) {
      const HANDLE icon = Load(205, IMAGE_ICON, cx, cx, 0);
      EXPECT_EQ(WidthOf(icon), width) << cx;
      DestroyIcon(static_cast<HICON>(icon));
    }
    EXPECT_WIN32(Load(206, IMAGE_ICON, 16, 16, LR_SHARED), nullptr, ERROR_INVALID_DATA);
  }
}

class ResourceEnv : public testing_support::IsolatedTest {};

TEST_F(ResourceEnv, ScreenSizeFromTheEnvironment) {
  EXPECT_EQ(GetSystemMetrics(SM_CXSMICON), 16);
  const std::tuple<const char*, int, int> screens[] = {
      {nullptr, 1024, 768}, {"1920x1080", 1920, 1080}, {"800x600x2", 1024, 768}, {"0x600", 1024, 768},
      {"wide", 1024, 768},
  };
  for (const auto& [value, width, height] : screens) {
    value != nullptr ? SetEnv("COMPAT_SCREEN_SIZE", value) : UnsetEnv("COMPAT_SCREEN_SIZE");
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), width) << (value != nullptr ? value : "unset");
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), height);
  }
  // A display's own size comes first; a source without an answer falls back.
  SetEnv("COMPAT_SCREEN_SIZE", "800x600");
  compat::win32::SetScreenSizeSource([](int* width, int* height) {
    *width = 1920;
    *height = 1080;
    return true;
  });
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1920);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 1080);
  compat::win32::SetScreenSizeSource([](int*, int*) { return false; });
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 800);
  compat::win32::SetScreenSizeSource(nullptr);
}

}  // namespace
