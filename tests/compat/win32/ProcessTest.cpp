// Starting programs without a shell: finding them on the search path, the
// command line split by Windows' rules, waiting with a limit, exit codes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "compat/win32/Error.h"
#include "compat/win32/Process.h"
#include "compat/win32/StringConv.h"
#include "compat/win32/Sync.h"

namespace {

std::u16string Find(const char16_t* name) {
  char16_t path[MAX_PATH + 1];
  const DWORD length = SearchPathW(nullptr, name, nullptr, MAX_PATH + 1, path, nullptr);
  return length > 0 && length <= MAX_PATH ? std::u16string(path, length) : std::u16string();
}

// Runs `arguments` after the program, waits `milliseconds`; the wait's
// answer and the exit code then.
std::pair<DWORD, DWORD> RunAndWait(const std::u16string& program, const std::u16string& arguments,
                            DWORD milliseconds = INFINITE) {
  std::u16string commandLine = u"\"" + program + u"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &started))
    return {WAIT_FAILED, 0};
  const DWORD waited = WaitForSingleObject(started.hProcess, milliseconds);
  DWORD code = 0;
  GetExitCodeProcess(started.hProcess, &code);
  CloseHandle(started.hProcess);
  return {waited, code};
}

TEST(ProcessTest, CommandLinesSplitByWindowsRules) {
  // "test" exits 0 when its two operands are equal, so it shows what it got.
  const std::u16string test = Find(u"test.exe");
  ASSERT_FALSE(test.empty());
  EXPECT_EQ(test.rfind(u"Z:\\", 0), 0u);
  const std::pair<const char16_t*, DWORD> rows[] = {
      {uR"("a b" = "a b")", 0},
      {uR"("a b" = a)", 1},
      {uR"(a\"b = "a\"b")", 0},    // an escaped quote is a plain quote
      {uR"("a\\" = a\)", 0},        // two backslashes before a quote are one
      {uR"(a\\b = "a\\b")", 0},     // backslashes not before a quote stay
      {uR"("" = "")", 0},           // an empty quoted argument is an argument
  };
  for (const auto& [arguments, code] : rows)
    EXPECT_EQ(RunAndWait(test, arguments), std::make_pair(DWORD{WAIT_OBJECT_0}, code)) << compat::win32::Utf16ToUtf8(arguments);
}

TEST(ProcessTest, WaitEndsAtItsLimitAndMissingProgramsAreNotFound) {
  const std::u16string sleep = Find(u"sleep");
  ASSERT_FALSE(sleep.empty());
  std::u16string commandLine = u"sleep 5";
  STARTUPINFOW startup{};
  PROCESS_INFORMATION started{};
  ASSERT_TRUE(CreateProcessW(sleep.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &started));
  EXPECT_EQ(WaitForSingleObject(started.hProcess, 50), static_cast<DWORD>(WAIT_TIMEOUT));
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(started.hProcess, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  CloseHandle(started.hProcess);  // collected when it ends

  EXPECT_TRUE(Find(u"no-such-program.exe").empty());
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  std::u16string missing = u"Z:\\no\\such\\program";
  EXPECT_FALSE(CreateProcessW(nullptr, missing.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &started));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(ProcessTest, SuperuserIsAnAdministrator) {
  if (geteuid() != 0) GTEST_SKIP() << "the superuser's case only";
  EXPECT_TRUE(IsUserAnAdmin());
}

}  // namespace
