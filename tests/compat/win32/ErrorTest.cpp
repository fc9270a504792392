// The error table: every code compat returns has its system text, and the
// errno boundary picks the code Windows would report.
#include "compat/win32/Error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

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

TEST(ErrorFromErrno, MapsToTheWindowsCode) {
  struct Row {
    int err;
    bool missingFolder;
    long expected;
  };
  for (const Row& row : {Row{0, false, ERROR_SUCCESS}, Row{ENOENT, false, ERROR_FILE_NOT_FOUND},
                         Row{ENOENT, true, ERROR_PATH_NOT_FOUND}, Row{ENOTDIR, false, ERROR_PATH_NOT_FOUND},
                         Row{EACCES, false, ERROR_ACCESS_DENIED}, Row{EROFS, false, ERROR_ACCESS_DENIED},
                         Row{EISDIR, false, ERROR_ACCESS_DENIED}, Row{EEXIST, false, ERROR_ALREADY_EXISTS},
                         Row{ENOTEMPTY, false, ERROR_DIR_NOT_EMPTY}, Row{EMFILE, false, ERROR_TOO_MANY_OPEN_FILES},
                         Row{ENOSPC, false, ERROR_DISK_FULL}, Row{ENAMETOOLONG, false, ERROR_FILENAME_EXCED_RANGE},
                         Row{EBUSY, false, ERROR_SHARING_VIOLATION}, Row{EIO, false, ERROR_READ_FAULT},
                         Row{EOPNOTSUPP, false, ERROR_NOT_SUPPORTED}, Row{EDOM, false, ERROR_INVALID_FUNCTION}}) {
    EXPECT_EQ(compat::win32::ErrorFromErrno(row.err, row.missingFolder), static_cast<DWORD>(row.expected))
        << "errno " << row.err;
  }
}

}  // namespace
