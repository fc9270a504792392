// The error table: every code compat returns has its system text, and the
// errno boundary picks the code Windows would report.
#include "compat/win32/Error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <utility>
#include <string>
#include <tuple>

#include "compat/win32/StringConv.h"
#include "tests/compat/win32/Win32Expect.h"

namespace {

constexpr DWORD kFromSystem = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;

TEST(FormatMessage, EveryCodeHasItsTextEndingInCrLf) {
#define CHECK_ERROR_TEXT(name, code, text)                                                      \
  {                                                                                             \
    WCHAR buffer[200];                                                                          \
    const DWORD n = FormatMessageW(kFromSystem, nullptr, code, 0, buffer, 200, nullptr);         \
    EXPECT_EQ(compat::win32::Utf16ToUtf8(std::u16string_view(buffer, n)), text "\r\n") << #name; \
    EXPECT_EQ(buffer[n], 0) << #name;                                                            \
  }
  COMPAT_WIN32_ERRORS(CHECK_ERROR_TEXT)
#undef CHECK_ERROR_TEXT
}

TEST(FormatMessage, RefusesWhatItCannotDo) {
  WCHAR buffer[64];
  const std::string text = "Access is denied.\r\n";
  // Exactly room for the text and its terminator, and one less.
  EXPECT_EQ(FormatMessageW(kFromSystem, nullptr, ERROR_ACCESS_DENIED, 0, buffer, text.size() + 1, nullptr),
            text.size());
  EXPECT_WIN32(FormatMessageW(kFromSystem, nullptr, ERROR_ACCESS_DENIED, 0, buffer, text.size(), nullptr), 0u,
               ERROR_INSUFFICIENT_BUFFER);
  EXPECT_WIN32(FormatMessageW(kFromSystem, nullptr, 4242, 0, buffer, 64, nullptr), 0u, ERROR_MR_MID_NOT_FOUND);
  EXPECT_WIN32(FormatMessageW(0, nullptr, ERROR_ACCESS_DENIED, 0, buffer, 64, nullptr), 0u, ERROR_INVALID_PARAMETER);
  EXPECT_WIN32(FormatMessageW(kFromSystem | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, 5, 0, buffer, 64, nullptr), 0u,
               ERROR_INVALID_PARAMETER);
  EXPECT_WIN32(FormatMessageW(kFromSystem, nullptr, ERROR_ACCESS_DENIED, 0, nullptr, 64, nullptr), 0u,
               ERROR_INVALID_PARAMETER);
}

// errno, whether a folder on the way is missing, and the code Windows reports, which has its text.
TEST(ErrorFromErrno, MapsToTheWindowsCodeWithItsText) {
  const std::tuple<int, bool, long> rows[] = {
      {0, false, ERROR_SUCCESS},                   {ENOENT, false, ERROR_FILE_NOT_FOUND},
      {ENOENT, true, ERROR_PATH_NOT_FOUND},        {ENOTDIR, false, ERROR_PATH_NOT_FOUND},
      {ELOOP, false, ERROR_CANT_RESOLVE_FILENAME}, {EACCES, false, ERROR_ACCESS_DENIED},
      {EPERM, false, ERROR_ACCESS_DENIED},         {EROFS, false, ERROR_ACCESS_DENIED},
      {EISDIR, false, ERROR_ACCESS_DENIED},        {EEXIST, false, ERROR_ALREADY_EXISTS},
      {ENOTEMPTY, false, ERROR_DIR_NOT_EMPTY},     {EXDEV, false, ERROR_NOT_SAME_DEVICE},
      {EBADF, false, ERROR_INVALID_HANDLE},        {ENOMEM, false, ERROR_NOT_ENOUGH_MEMORY},
      {EMFILE, false, ERROR_TOO_MANY_OPEN_FILES},  {ENFILE, false, ERROR_TOO_MANY_OPEN_FILES},
      {ENOSPC, false, ERROR_DISK_FULL},            {EDQUOT, false, ERROR_DISK_FULL},
      {EFBIG, false, ERROR_FILE_TOO_LARGE},        {ENAMETOOLONG, false, ERROR_FILENAME_EXCED_RANGE},
      {EINVAL, false, ERROR_INVALID_PARAMETER},    {EOVERFLOW, false, ERROR_ARITHMETIC_OVERFLOW},
      {ESPIPE, false, ERROR_SEEK_ON_DEVICE},       {EPIPE, false, ERROR_BROKEN_PIPE},
      {ENXIO, false, ERROR_PIPE_NOT_CONNECTED},    {EAGAIN, false, ERROR_LOCK_VIOLATION},
      {EBUSY, false, ERROR_SHARING_VIOLATION},     {ETXTBSY, false, ERROR_SHARING_VIOLATION},
      {EIO, false, ERROR_READ_FAULT},              {ENODEV, false, ERROR_NOT_READY},
      {ENOSYS, false, ERROR_NOT_SUPPORTED},        {EOPNOTSUPP, false, ERROR_NOT_SUPPORTED},
      {EDOM, false, ERROR_INVALID_FUNCTION},
  };
  for (const auto& [err, missingFolder, expected] : rows) {
    SCOPED_TRACE(testing::Message() << "errno " << err << (missingFolder ? ", folder missing" : ""));
    const DWORD code = compat::win32::ErrorFromErrno(err, missingFolder);
    EXPECT_EQ(code, static_cast<DWORD>(expected));
    WCHAR buffer[200];
    EXPECT_NE(FormatMessageW(kFromSystem, nullptr, code, 0, buffer, 200, nullptr), 0u);
  }
}

// The texts are English: the usual search (0), neutral and English ids are served, no other language.
TEST(FormatMessage, ServesTheEnglishTextsOnly) {
  WCHAR buffer[64];
  const std::pair<DWORD, bool> languages[] = {
      {0u, true}, {MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT), true}, {MAKELANGID(LANG_ENGLISH, 2u), true},
      {MAKELANGID(LANG_NEUTRAL, 1u), true}, {MAKELANGID(LANG_NEUTRAL, 2u), true},
      {1u, false}, {MAKELANGID(0x07u, SUBLANG_DEFAULT), false}, {0x10409u, false}, {~0u, false}};
  for (const auto& [language, served] : languages) {
    SCOPED_TRACE(testing::Message() << std::hex << language);
    EXPECT_WIN32(FormatMessageW(kFromSystem, nullptr, ERROR_ACCESS_DENIED, language, buffer, 64, nullptr),
                 served ? 19u : 0u, served ? 0xdeadbeef : ERROR_RESOURCE_LANG_NOT_FOUND);
  }
}

}  // namespace
