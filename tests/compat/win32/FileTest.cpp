// Files and folders: the path mapping, attributes, creation dispositions,
// share modes, delete-on-close, reads and seeks, and searches.
#include "compat/win32/File.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "compat/win32/Error.h"
#include "compat/win32/StringConv.h"
#include "compat/win32/Sync.h"
#include "tests/support/TestSupport.h"

namespace {

using compat::win32::PosixPath;
using compat::win32::WindowsPath;
// Writes a file's bytes directly (not through the API under test).
void Put(const std::string& path, const std::string& bytes) { testing_support::WriteFile(path, bytes); }

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

class File : public ::testing::Test {
 protected:
  // The Windows form of a name in the test's folder.
  std::u16string W(const std::string& name) const { return WindowsPath(folder_ / name); }
  std::string P(const std::string& name) const { return folder_ / name; }

  HANDLE Open(const std::string& name, DWORD access, DWORD share, DWORD creation, DWORD flags = 0) {
    return CreateFileW(W(name).c_str(), access, share, nullptr, creation, flags, nullptr);
  }

  testing_support::TempFolder folder_;
};

TEST(FilePath, WindowsPathsMapOntoTheRoot) {
  struct Case {
    const char16_t* windows;
    const char* posix;  // null: not found
  };
  const Case cases[] = {
      {u"Z:\\home\\ann\\a.txt", "/home/ann/a.txt"},
      {u"z:/home/ann", "/home/ann"},
      {u"Z:\\", "/"},
      {u"/usr/lib", "/usr/lib"},
      {u"\\usr\\lib", "/usr/lib"},
      {u"Z:\\a\\", "/a/"},
      // Full paths lose "." and ".." by their text; ".." stops at the root.
      {u"Z:\\x\\..\\y\\.\\z", "/y/z"},
      {u"Z:\\..\\..\\etc", "/etc"},
      {u"Z:\\a\\b\\.", "/a/b"},
      // "\\?\" takes the rest as it stands.
      {u"\\\\?\\Z:\\x\\..\\y", "/x/../y"},
      {u"\\\\.\\Z:\\x\\..\\y", "/y"},
      // Relative forms stay relative to the current folder.
      {u"rel\\f.txt", "rel/f.txt"},
      {u"Z:rel\\f.txt", "rel/f.txt"},
      {u"Z:\\caf\xE9\\\x65E5", "/caf\xC3\xA9/\xE6\x97\xA5"},
      // Other drives, network hosts and devices lead nowhere.
      {u"C:\\Windows", nullptr},
      {u"\\\\host\\share\\f", nullptr},
      {u"//host/share/f", nullptr},
      {u"\\\\?\\UNC\\host\\share", nullptr},
      {u"\\\\?\\C:\\x", nullptr},
      {u"\\\\.\\PhysicalDrive0", nullptr},
      {u"", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(compat::win32::Utf16ToUtf8(c.windows));
    const std::optional<std::string> posix = PosixPath(c.windows);
    if (c.posix == nullptr) {
      EXPECT_FALSE(posix.has_value()) << *posix;
    } else {
      EXPECT_EQ(posix.value_or("<none>"), c.posix);
    }
  }
  EXPECT_EQ(WindowsPath("/home/ann/a.txt"), u"Z:\\home\\ann\\a.txt");
  EXPECT_EQ(WindowsPath("/"), u"Z:\\");
  EXPECT_EQ(WindowsPath("rel/x"), u"rel\\x");
  EXPECT_EQ(PosixPath(WindowsPath("/tmp/caf\xC3\xA9")), "/tmp/caf\xC3\xA9");
}

TEST_F(File, AttributesFollowTheEntry) {
  Put(P("plain.txt"), "x");
  Put(P(".hidden"), "x");
  Put(P("locked.txt"), "x");
  chmod(P("locked.txt").c_str(), 0444);
  mkdir(P("folder").c_str(), 0755);
  mkdir(P(".config").c_str(), 0755);
  mkfifo(P("pipe").c_str(), 0644);
  struct Case {
    std::u16string path;
    DWORD attributes;
  };
  const Case cases[] = {
      {W("plain.txt"), FILE_ATTRIBUTE_ARCHIVE},
      {W(".hidden"), FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN},
      {W("locked.txt"), FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY},
      {W("folder"), FILE_ATTRIBUTE_DIRECTORY},
      {W("folder\\"), FILE_ATTRIBUTE_DIRECTORY},
      {W("folder\\."), FILE_ATTRIBUTE_DIRECTORY},
      {W(".config"), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN},
      {W("pipe"), FILE_ATTRIBUTE_NORMAL},
      {u"Z:\\", FILE_ATTRIBUTE_DIRECTORY},
      {u"\\\\?\\Z:\\", FILE_ATTRIBUTE_DIRECTORY},
      // Missing: the file (2), or a folder on the way to it (3).
      {W("missing.txt"), INVALID_FILE_ATTRIBUTES},
      {W("nofolder\\missing.txt"), INVALID_FILE_ATTRIBUTES},
      {W("plain.txt\\below"), INVALID_FILE_ATTRIBUTES},
      {u"C:\\Windows", INVALID_FILE_ATTRIBUTES},
  };
  const DWORD errors[] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND,
                          ERROR_PATH_NOT_FOUND, ERROR_PATH_NOT_FOUND};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(compat::win32::Utf16ToUtf8(cases[i].path));
    SetLastError(0);
    EXPECT_EQ(GetFileAttributesW(cases[i].path.c_str()), cases[i].attributes);
    EXPECT_EQ(GetLastError(), errors[i]);
  }
}

TEST_F(File, FoldersAreCreatedAndRemovedWithWindowsErrors) {
  EXPECT_TRUE(CreateDirectoryW(W("new").c_str(), nullptr));
  EXPECT_EQ(GetFileAttributesW(W("new").c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  Put(P("new/inside.txt"), "x");
  Put(P("file.txt"), "x");
  struct Step {
    const char* what;
    BOOL (*function)(const std::u16string&);
    std::string name;
    DWORD error;
  };
  const Step steps[] = {
      {"create existing", [](const std::u16string& p) { return CreateDirectoryW(p.c_str(), nullptr); }, "new",
       ERROR_ALREADY_EXISTS},
      {"create in missing folder", [](const std::u16string& p) { return CreateDirectoryW(p.c_str(), nullptr); },
       "none/new", ERROR_PATH_NOT_FOUND},
      {"remove non-empty", [](const std::u16string& p) { return RemoveDirectoryW(p.c_str()); }, "new",
       ERROR_DIR_NOT_EMPTY},
      {"remove a file", [](const std::u16string& p) { return RemoveDirectoryW(p.c_str()); }, "file.txt",
       ERROR_DIRECTORY},
      {"remove missing", [](const std::u16string& p) { return RemoveDirectoryW(p.c_str()); }, "gone",
       ERROR_FILE_NOT_FOUND},
      {"remove in missing folder", [](const std::u16string& p) { return RemoveDirectoryW(p.c_str()); },
       "none/gone", ERROR_PATH_NOT_FOUND},
      {"create on another drive", [](const std::u16string&) { return CreateDirectoryW(u"C:\\x", nullptr); }, "",
       ERROR_PATH_NOT_FOUND},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    SetLastError(0);
    EXPECT_FALSE(step.function(W(step.name)));
    EXPECT_EQ(GetLastError(), step.error);
  }
  unlink(P("new/inside.txt").c_str());
  EXPECT_TRUE(RemoveDirectoryW(W("new").c_str()));
  EXPECT_FALSE(testing_support::FileExists(P("new")));
}

TEST_F(File, DeleteFileRefusesFoldersAndReadOnlyFiles) {
  Put(P("a.txt"), "x");
  Put(P("locked.txt"), "x");
  chmod(P("locked.txt").c_str(), 0444);
  mkdir(P("folder").c_str(), 0755);

  EXPECT_TRUE(DeleteFileW(W("a.txt").c_str()));
  EXPECT_FALSE(testing_support::FileExists(P("a.txt")));
  const std::pair<std::string, DWORD> refused[] = {
      {"a.txt", ERROR_FILE_NOT_FOUND},
      {"none/a.txt", ERROR_PATH_NOT_FOUND},
      {"folder", ERROR_ACCESS_DENIED},
      {"locked.txt", ERROR_ACCESS_DENIED},
  };
  for (const auto& [name, error] : refused) {
    SCOPED_TRACE(name);
    SetLastError(0);
    EXPECT_FALSE(DeleteFileW(W(name).c_str()));
    EXPECT_EQ(GetLastError(), error);
  }
  EXPECT_TRUE(testing_support::FileExists(P("locked.txt")));
  EXPECT_TRUE(testing_support::FileExists(P("folder")));
}

TEST_F(File, CreationDispositionsOnMissingAndExistingFiles) {
  struct Case {
    DWORD creation;
    bool exists;
    bool opens;
    DWORD error;
    const char* content;  // afterwards; null: no file
  };
  const Case cases[] = {
      {CREATE_NEW, false, true, 0, ""},
      {CREATE_NEW, true, false, ERROR_FILE_EXISTS, "old!"},
      {CREATE_ALWAYS, false, true, 0, ""},
      {CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, ""},
      {OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
      {OPEN_EXISTING, true, true, 0, "old!"},
      {OPEN_ALWAYS, false, true, 0, ""},
      {OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "old!"},
      {TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
      {TRUNCATE_EXISTING, true, true, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "disposition " << c.creation << (c.exists ? " on existing" : " on missing"));
    const std::string name = "f" + std::to_string(c.creation) + (c.exists ? "e" : "m");
    if (c.exists) Put(P(name), "old!");
    SetLastError(12345);
    const HANDLE file = Open(name, GENERIC_READ | GENERIC_WRITE, 0, c.creation);
    EXPECT_EQ(file != INVALID_HANDLE_VALUE, c.opens);
    EXPECT_EQ(GetLastError(), c.error);
    if (file != INVALID_HANDLE_VALUE) {
      EXPECT_TRUE(CloseHandle(file));
    }
    EXPECT_EQ(testing_support::FileExists(P(name)), c.content != nullptr);
    if (c.content != nullptr) {
      EXPECT_EQ(testing_support::ReadFile(P(name)), c.content);
    }
  }

  // Failures that do not depend on the file.
  Put(P("locked.txt"), "x");
  chmod(P("locked.txt").c_str(), 0444);
  mkdir(P("folder").c_str(), 0755);
  struct Refusal {
    const char* what;
    std::string name;
    DWORD access;
    DWORD creation;
    DWORD flags;
    DWORD error;
  };
  const Refusal refusals[] = {
      {"missing folder", "none/x", GENERIC_WRITE, CREATE_ALWAYS, 0, ERROR_PATH_NOT_FOUND},
      {"missing folder, open", "none/x", GENERIC_READ, OPEN_EXISTING, 0, ERROR_PATH_NOT_FOUND},
      {"a folder", "folder", GENERIC_READ, OPEN_EXISTING, 0, ERROR_ACCESS_DENIED},
      {"a folder, no access", "folder", 0, OPEN_EXISTING, 0, ERROR_ACCESS_DENIED},
      {"write a read-only file", "locked.txt", GENERIC_WRITE, OPEN_EXISTING, 0, ERROR_ACCESS_DENIED},
      {"delete a read-only file", "locked.txt", GENERIC_READ, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE,
       ERROR_ACCESS_DENIED},
      {"disposition 0", "x", GENERIC_READ, 0, 0, ERROR_INVALID_PARAMETER},
      {"disposition 6", "x", GENERIC_READ, 6, 0, ERROR_INVALID_PARAMETER},
      {"truncate without write", "locked.txt", GENERIC_READ, TRUNCATE_EXISTING, 0, ERROR_INVALID_PARAMETER},
  };
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.what);
    SetLastError(0);
    EXPECT_EQ(Open(r.name, r.access, kShareAll, r.creation, r.flags), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), r.error);
  }
  EXPECT_EQ(testing_support::ReadFile(P("locked.txt")), "x");
  // Reading a read-only file is fine; so is looking at one without access.
  for (DWORD access : {static_cast<DWORD>(GENERIC_READ), static_cast<DWORD>(0)}) {
    const HANDLE file = Open("locked.txt", access, kShareAll, OPEN_EXISTING);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
  }
  // A new file asked to be read-only is, once created.
  const HANDLE created = Open("made-readonly", GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_READONLY);
  ASSERT_NE(created, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(created, "ok", 2, &written, nullptr));
  CloseHandle(created);
  EXPECT_EQ(GetFileAttributesW(W("made-readonly").c_str()),
            static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
}

TEST_F(File, ReadWriteSeekAndSize) {
  const HANDLE file = Open("data.bin", GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD count = 0xcccccccc;
  ASSERT_TRUE(WriteFile(file, "hello world", 11, &count, nullptr));
  EXPECT_EQ(count, 11u);

  DWORD high = 0xcccccccc;
  EXPECT_EQ(GetFileSize(file, &high), 11u);
  EXPECT_EQ(high, 0u);
  LARGE_INTEGER size;
  size.QuadPart = -1;
  EXPECT_TRUE(GetFileSizeEx(file, &size));
  EXPECT_EQ(size.QuadPart, 11);

  LARGE_INTEGER position, to;
  struct Seek {
    LONGLONG distance;
    DWORD method;
    LONGLONG expected;
  };
  for (const Seek& seek : {Seek{6, FILE_BEGIN, 6}, Seek{-5, FILE_END, 6}, Seek{2, FILE_CURRENT, 8},
                           Seek{-2, FILE_CURRENT, 6}}) {
    to.QuadPart = seek.distance;
    position.QuadPart = -1;
    EXPECT_TRUE(SetFilePointerEx(file, to, &position, seek.method));
    EXPECT_EQ(position.QuadPart, seek.expected);
  }
  char buffer[32];
  std::memset(buffer, 0xcc, sizeof buffer);
  count = 0xcccccccc;
  ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &count, nullptr));
  EXPECT_EQ(std::string(buffer, count), "world");
  // At the end a read succeeds with nothing.
  count = 0xcccccccc;
  EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &count, nullptr));
  EXPECT_EQ(count, 0u);

  // Before the start: refused, position unchanged.
  to.QuadPart = -1;
  SetLastError(0);
  EXPECT_FALSE(SetFilePointerEx(file, to, &position, FILE_BEGIN));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
  to.QuadPart = 0;
  EXPECT_TRUE(SetFilePointerEx(file, to, &position, FILE_CURRENT));
  EXPECT_EQ(position.QuadPart, 11);
  SetLastError(0);
  EXPECT_FALSE(SetFilePointerEx(file, to, &position, 3));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  // Writing past the end fills the gap with zeros.
  to.QuadPart = 13;
  EXPECT_TRUE(SetFilePointerEx(file, to, nullptr, FILE_BEGIN));
  EXPECT_TRUE(WriteFile(file, "!", 1, &count, nullptr));
  EXPECT_EQ(GetFileSize(file, nullptr), 14u);
  EXPECT_EQ(testing_support::ReadFile(P("data.bin")), std::string("hello world\0\0!", 14));

  // Sizes beyond 32 bits, and one whose low half looks like the failure value.
  ASSERT_EQ(truncate(P("data.bin").c_str(), 0x140000000), 0);
  EXPECT_EQ(GetFileSize(file, &high), 0x40000000u);
  EXPECT_EQ(high, 1u);
  ASSERT_EQ(truncate(P("data.bin").c_str(), 0x1FFFFFFFF), 0);
  SetLastError(99);
  EXPECT_EQ(GetFileSize(file, &high), INVALID_FILE_SIZE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(high, 1u);
  EXPECT_TRUE(CloseHandle(file));
}

TEST_F(File, HandlesRefuseWhatTheyWereNotOpenedFor) {
  Put(P("a.txt"), "abc");
  const HANDLE reader = Open("a.txt", GENERIC_READ, kShareAll, OPEN_EXISTING);
  const HANDLE writer = Open("a.txt", GENERIC_WRITE, kShareAll, OPEN_EXISTING);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  char buffer[8];
  DWORD count = 0xcccccccc;
  SetLastError(0);
  EXPECT_FALSE(ReadFile(writer, buffer, 3, &count, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(count, 0u);
  count = 0xcccccccc;
  SetLastError(0);
  EXPECT_FALSE(WriteFile(reader, "x", 1, &count, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(count, 0u);
  char overlapped[32] = {};
  SetLastError(0);
  EXPECT_FALSE(ReadFile(reader, buffer, 3, &count, overlapped));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  CloseHandle(reader);
  CloseHandle(writer);

  // Closed, never opened, and not files at all.
  const HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
  for (HANDLE bad : {reader, static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE, mutex}) {
    LARGE_INTEGER value;
    SetLastError(0);
    EXPECT_FALSE(ReadFile(bad, buffer, 1, &count, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0);
    EXPECT_FALSE(WriteFile(bad, buffer, 1, &count, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0);
    EXPECT_EQ(GetFileSize(bad, nullptr), INVALID_FILE_SIZE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0);
    EXPECT_FALSE(GetFileSizeEx(bad, &value));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0);
    EXPECT_FALSE(SetFilePointerEx(bad, value, nullptr, FILE_BEGIN));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  }
  CloseHandle(mutex);
}

TEST_F(File, ShareModesAmongTheHandlesOfTheProcess) {
  struct Opening {
    DWORD access;
    DWORD share;
    DWORD flags;
  };
  struct Case {
    const char* what;
    Opening first, second;
    bool allowed;
  };
  constexpr DWORD R = GENERIC_READ, Wr = GENERIC_WRITE, SR = FILE_SHARE_READ, SW = FILE_SHARE_WRITE,
                  SD = FILE_SHARE_DELETE, DOC = FILE_FLAG_DELETE_ON_CLOSE;
  const Case cases[] = {
      {"readers sharing reading", {R, SR, 0}, {R, SR, 0}, true},
      {"writer where writing is not shared", {R, SR, 0}, {Wr, SR | SW, 0}, false},
      {"reader that does not share the first's writing", {Wr, SR | SW, 0}, {R, SR, 0}, false},
      {"reader that does not share the first's reading", {R, SR | SW, 0}, {Wr, SW, 0}, false},
      {"reader and writer sharing both", {R, SR | SW, 0}, {Wr, SR | SW, 0}, true},
      {"exclusive holder, looker without access", {R | Wr, 0, 0}, {0, 0, 0}, true},
      {"deleter where deleting is not shared", {R, SR | SW, 0}, {R, SR | SW, DOC}, false},
      {"deleter where everything is shared", {R, SR | SW | SD, 0}, {R, SR | SW | SD, DOC}, true},
      {"reader after a deleter that shares no deleting", {R, SR | SW | SD, DOC}, {R, SR | SW, 0}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Put(P("shared.txt"), "x");
    const HANDLE first = Open("shared.txt", c.first.access, c.first.share, OPEN_EXISTING, c.first.flags);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    SetLastError(0);
    const HANDLE second = Open("shared.txt", c.second.access, c.second.share, OPEN_EXISTING, c.second.flags);
    EXPECT_EQ(second != INVALID_HANDLE_VALUE, c.allowed);
    EXPECT_EQ(GetLastError(), c.allowed ? 0u : static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    if (second != INVALID_HANDLE_VALUE) CloseHandle(second);
    CloseHandle(first);
    // Once the first is closed, nothing stands in the way.
    const HANDLE again = Open("shared.txt", c.second.access, 0, OPEN_ALWAYS);
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    CloseHandle(again);
  }

  // Sharing is per file, whatever name it is opened by.
  Put(P("one"), "x");
  ASSERT_EQ(link(P("one").c_str(), P("two").c_str()), 0);
  const HANDLE exclusive = Open("one", R, 0, OPEN_EXISTING);
  SetLastError(0);
  EXPECT_EQ(Open("two", R, kShareAll, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  // Nor may it be deleted, nor created over.
  SetLastError(0);
  EXPECT_FALSE(DeleteFileW(W("one").c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  SetLastError(0);
  EXPECT_EQ(Open("one", Wr, kShareAll, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(testing_support::ReadFile(P("one")), "x");
  CloseHandle(exclusive);
  // A handle that shares deleting lets the name go.
  const HANDLE lenient = Open("one", R, kShareAll, OPEN_EXISTING);
  EXPECT_TRUE(DeleteFileW(W("one").c_str()));
  CloseHandle(lenient);
}

TEST_F(File, DeleteOnCloseWaitsForTheLastHandle) {
  const HANDLE first = Open("temp.dat", GENERIC_WRITE, kShareAll, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE);
  ASSERT_NE(first, INVALID_HANDLE_VALUE);
  const HANDLE second = Open("temp.dat", GENERIC_READ, kShareAll, OPEN_EXISTING);
  ASSERT_NE(second, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(first));
  EXPECT_TRUE(testing_support::FileExists(P("temp.dat")));
  EXPECT_TRUE(CloseHandle(second));
  EXPECT_FALSE(testing_support::FileExists(P("temp.dat")));

  // A file put in its place meanwhile is not the one that was to go.
  const HANDLE third = Open("temp.dat", GENERIC_WRITE, kShareAll, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE);
  ASSERT_EQ(rename(P("temp.dat").c_str(), P("moved.dat").c_str()), 0);
  Put(P("temp.dat"), "keep");
  CloseHandle(third);
  EXPECT_EQ(testing_support::ReadFile(P("temp.dat")), "keep");
}

TEST(FileTemp, TempPathIsTmpdirInWindowsForm) {
  const char* saved = std::getenv("TMPDIR");
  const std::string restore = saved != nullptr ? saved : "";
  WCHAR buffer[64];
  std::fill(std::begin(buffer), std::end(buffer), u'\xcccc');

  setenv("TMPDIR", "/var/tmp/run", 1);
  EXPECT_EQ(GetTempPathW(64, buffer), 15u);
  EXPECT_EQ(std::u16string(buffer), u"Z:\\var\\tmp\\run\\");
  // Too small: untouched, and the size it needs with the terminator.
  std::fill(std::begin(buffer), std::end(buffer), u'\xcccc');
  EXPECT_EQ(GetTempPathW(15, buffer), 16u);
  EXPECT_EQ(buffer[0], u'\xcccc');
  EXPECT_EQ(GetTempPathW(0, nullptr), 16u);

  unsetenv("TMPDIR");
  EXPECT_EQ(GetTempPathW(64, buffer), 7u);
  EXPECT_EQ(std::u16string(buffer), u"Z:\\tmp\\");
  if (saved != nullptr) setenv("TMPDIR", restore.c_str(), 1);
}

class Find : public File {
 protected:
  void SetUp() override {
    Put(P("a.txt"), "12345");
    Put(P("B.TXT"), "");
    Put(P("c.log"), "");
    Put(P(".hidden"), "");
    mkdir(P("sub").c_str(), 0755);
  }

  // Every name the search returns, in order; empty with the error on failure.
  std::vector<std::string> Names(const std::u16string& pattern, DWORD* error = nullptr) {
    WIN32_FIND_DATAW data;
    std::memset(&data, 0xcc, sizeof data);
    SetLastError(0);
    const HANDLE find = FindFirstFileW(pattern.c_str(), &data);
    if (error != nullptr) *error = GetLastError();
    std::vector<std::string> names;
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
      names.push_back(compat::win32::Utf16ToUtf8(data.cFileName));
    } while (FindNextFileW(find, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(find));
    return names;
  }
};

TEST_F(Find, WildcardsMatchTheLastComponentWithoutCase) {
  using List = std::vector<std::string>;
  const std::pair<std::string, List> cases[] = {
      {"*", {".", "..", ".hidden", "a.txt", "B.TXT", "c.log", "sub"}},
      {"*.*", {".", "..", ".hidden", "a.txt", "B.TXT", "c.log", "sub"}},
      {"*.txt", {"a.txt", "B.TXT"}},
      {"?.LOG", {"c.log"}},
      {"sub.*", {"sub"}},
      {"A.TXT", {"a.txt"}},
      {"a.txt", {"a.txt"}},
      {"*b*", {"B.TXT", "sub"}},
  };
  for (const auto& [pattern, names] : cases) {
    SCOPED_TRACE(pattern);
    EXPECT_EQ(Names(W(pattern)), names);
  }
  // Not found: no match (2); a missing folder, another drive (3); a wildcard
  // in a folder (123); a pattern ending in a separator (2).
  const std::pair<std::u16string, DWORD> failures[] = {
      {W("nothing*"), ERROR_FILE_NOT_FOUND},    {W("none\\*"), ERROR_PATH_NOT_FOUND},
      {u"Q:\\x\\*", ERROR_PATH_NOT_FOUND},      {W("s*\\x"), ERROR_INVALID_NAME},
      {W("sub\\"), ERROR_FILE_NOT_FOUND},       {W("a.txt\\*"), ERROR_PATH_NOT_FOUND},
  };
  for (const auto& [pattern, expected] : failures) {
    SCOPED_TRACE(compat::win32::Utf16ToUtf8(pattern));
    DWORD error = 0;
    EXPECT_TRUE(Names(pattern, &error).empty());
    EXPECT_EQ(error, expected);
  }
  // The root has no "." or "..".
  const std::vector<std::string> root = Names(u"Z:\\*");
  EXPECT_EQ(std::count(root.begin(), root.end(), "."), 0);
  EXPECT_NE(std::count(root.begin(), root.end(), "tmp"), 0);
}

TEST_F(Find, EntriesCarryAttributesAndSize) {
  WIN32_FIND_DATAW data;
  std::memset(&data, 0xcc, sizeof data);
  const HANDLE find = FindFirstFileW(W("a.txt").c_str(), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(data.nFileSizeLow, 5u);
  EXPECT_EQ(data.nFileSizeHigh, 0u);
  EXPECT_EQ(std::u16string(data.cFileName), u"a.txt");
  EXPECT_EQ(data.cAlternateFileName[0], u'\0');
  // Written in this century: after 2000-01-01 in 100 ns steps since 1601.
  const std::uint64_t written =
      (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
  EXPECT_GT(written, 125911584000000000ull);
  SetLastError(0);
  EXPECT_FALSE(FindNextFileW(find, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));

  // A search handle closes once, by FindClose or CloseHandle; FindClose
  // closes nothing else.
  EXPECT_TRUE(CloseHandle(find));
  SetLastError(0);
  EXPECT_FALSE(FindClose(find));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  SetLastError(0);
  EXPECT_FALSE(FindNextFileW(find, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  const HANDLE file = Open("a.txt", GENERIC_READ, kShareAll, OPEN_EXISTING);
  SetLastError(0);
  EXPECT_FALSE(FindClose(file));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_TRUE(CloseHandle(file));

  const HANDLE folder = FindFirstFileW(W("sub").c_str(), &data);
  EXPECT_EQ(data.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_TRUE(FindClose(folder));
}

}  // namespace
