// Files and folders: path mapping, attributes, dispositions, share modes, delete-on-close, searches.
#include "compat/win32/File.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "compat/win32/Path.h"
#include "compat/win32/StringConv.h"
#include "compat/win32/Sync.h"
#include "tests/compat/win32/Win32Expect.h"
#include "tests/support/IsolatedTest.h"
#include "tests/support/TestSupport.h"

namespace {

using compat::win32::PosixPath;
using compat::win32::Utf16ToUtf8;
using compat::win32::WindowsPath;
using testing_support::FileExists;

std::string Contents(const std::string& path) { return testing_support::ReadFile(path); }

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

TEST(FilePath, WindowsPathsMapOntoTheRoot) {
  const std::pair<const char16_t*, const char*> cases[] = {
      {u"Z:\\home\\ann\\a.txt", "/home/ann/a.txt"}, {u"z:/home/ann", "/home/ann"}, {u"Z:\\", "/"},
      {u"\\usr\\lib", "/usr/lib"}, {u"Z:\\a\\", "/a/"}, {u"Z:\\x\\..\\y\\.\\z", "/y/z"},
      {u"Z:\\..\\..\\etc", "/etc"}, {u"Z:\\a\\b\\.", "/a/b"}, {u"\\\\?\\Z:\\x\\..\\y", "/x/../y"},
      {u"\\\\.\\Z:\\x\\..\\y", "/y"}, {u"Z:rel\\f.txt", "rel/f.txt"},
      {u"Z:\\caf\xE9\\\x65E5", "/caf\xC3\xA9/\xE6\x97\xA5"},
      // Other drives, network hosts and devices lead nowhere.
      {u"C:\\Windows", nullptr}, {u"\\\\host\\share\\f", nullptr}, {u"//host/share/f", nullptr},
      {u"\\\\?\\C:\\x", nullptr}, {u"\\\\.\\PhysicalDrive0", nullptr}, {u"", nullptr},
  };
  for (const auto& [windows, posix] : cases) {
    SCOPED_TRACE(Utf16ToUtf8(windows));
    EXPECT_EQ(PosixPath(windows).value_or("<none>"), posix != nullptr ? posix : "<none>");
  }
  EXPECT_EQ(WindowsPath("/home/ann/a.txt"), u"Z:\\home\\ann\\a.txt");
  EXPECT_EQ(WindowsPath("rel/x"), u"rel\\x");
  // The folder a path names its last component in, trailing slashes aside.
  const std::pair<const char*, const char*> parents[] = {
      {"/a/b", "/a"}, {"/a/b/", "/a"}, {"/a/b//", "/a"}, {"/a", "/"}, {"/", "/"}, {"a/", "."}, {"ab", "."},
  };
  for (const auto& [path, parent] : parents) EXPECT_EQ(compat::win32::ParentFolder(path), parent) << path;
}

// Each test's files in a folder of their own, beside the fixture's registry and runtime folders.
class File : public testing_support::IsolatedTest {
 protected:
  File() { mkdir(root_.c_str(), 0700); }
  std::u16string W(const std::string& name) const { return WindowsPath(P(name)); }
  std::string P(const std::string& name) const { return root_ + "/" + name; }
  void Put(const std::string& name, const std::string& bytes, mode_t mode = 0644) const {
    testing_support::WriteFile(P(name), bytes);
    chmod(P(name).c_str(), mode);
  }
  HANDLE Open(const std::string& name, DWORD access, DWORD share, DWORD creation, DWORD flags = 0) const {
    return CreateFileW(W(name).c_str(), access, share, nullptr, creation, flags, nullptr);
  }

  const std::string root_ = folder() / "files";
};

TEST_F(File, AttributesAndFolderErrors) {
  Put("plain.txt", "x");
  Put(".hidden", "x");
  Put("locked.txt", "x", 0444);
  mkdir(P(".config").c_str(), 0755);
  mkfifo(P("pipe").c_str(), 0644);
  const std::pair<std::u16string, DWORD> found[] = {
      {W("plain.txt"), FILE_ATTRIBUTE_ARCHIVE},
      {W(".hidden"), FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN},
      {W("locked.txt"), FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY},
      {W(".config\\."), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN},
      {W("pipe"), FILE_ATTRIBUTE_NORMAL},
      {u"\\\\?\\Z:\\", FILE_ATTRIBUTE_DIRECTORY},
  };
  for (const auto& [path, attributes] : found) EXPECT_EQ(GetFileAttributesW(path.c_str()), attributes);
  // A missing file (2) is told from a missing folder on the way to it (3).
  EXPECT_WIN32(GetFileAttributesW(W("missing").c_str()), INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND);
  EXPECT_WIN32(GetFileAttributesW(W("none\\missing").c_str()), INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND);
  EXPECT_WIN32(GetFileAttributesW(W("plain.txt\\x").c_str()), INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND);
  EXPECT_WIN32(GetFileAttributesW(u"C:\\Windows"), INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND);

  EXPECT_TRUE(CreateDirectoryW(W("new").c_str(), nullptr));
  Put("new/inside.txt", "x");
  EXPECT_WIN32(CreateDirectoryW(W("new").c_str(), nullptr), FALSE, ERROR_ALREADY_EXISTS);
  EXPECT_WIN32(CreateDirectoryW(W("none\\new").c_str(), nullptr), FALSE, ERROR_PATH_NOT_FOUND);
  EXPECT_WIN32(RemoveDirectoryW(W("new").c_str()), FALSE, ERROR_DIR_NOT_EMPTY);
  EXPECT_WIN32(RemoveDirectoryW(W("plain.txt").c_str()), FALSE, ERROR_DIRECTORY);
  EXPECT_WIN32(RemoveDirectoryW(W("gone").c_str()), FALSE, ERROR_FILE_NOT_FOUND);
  EXPECT_WIN32(DeleteFileW(W("locked.txt").c_str()), FALSE, ERROR_ACCESS_DENIED);  // Windows keeps read-only files
  EXPECT_TRUE(DeleteFileW(W("new\\inside.txt").c_str()));
  EXPECT_TRUE(RemoveDirectoryW(W("new").c_str()));
  EXPECT_FALSE(FileExists(P("new")));
}

// DeleteFileW removes files and links (never what a link points to), not pipes, sockets or devices.
TEST_F(File, TypesOfWhatIsOpenedAndWhatMayBeDeleted) {
  Put("plain", "x");
  mkdir(P("folder").c_str(), 0755);
  mkfifo(P("pipe").c_str(), 0644);
  ASSERT_EQ(mknod(P("socket").c_str(), S_IFSOCK | 0644, 0), 0);
  ASSERT_EQ(symlink(P("folder").c_str(), P("link").c_str()), 0);
  // The access asked, the type (0: not opened) and what DeleteFileW answers (-1: not tried on a real device).
  std::vector<std::tuple<std::u16string, DWORD, DWORD, BOOL>> cases = {
      {W("plain"), GENERIC_READ, FILE_TYPE_DISK, TRUE},
      {W("pipe"), GENERIC_READ, FILE_TYPE_PIPE, FALSE},
      {W("socket"), 0, FILE_TYPE_PIPE, FALSE},
      {u"Z:\\dev\\null", GENERIC_READ | GENERIC_WRITE, FILE_TYPE_CHAR, -1},
      {W("link"), 0, 0, TRUE},
  };
  // A device of our own to refuse deleting, where this user may make one.
  if (mknod(P("device").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0)
    cases.push_back({W("device"), GENERIC_READ, FILE_TYPE_CHAR, FALSE});
  for (const auto& [path, access, type, deleted] : cases) {
    SCOPED_TRACE(Utf16ToUtf8(path));
    if (type != 0) {
      const HANDLE file = CreateFileW(path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
      ASSERT_NE(file, INVALID_HANDLE_VALUE);
      EXPECT_WIN32(GetFileType(file), type, ERROR_SUCCESS);
      CloseHandle(file);
    }
    if (deleted == -1) continue;
    EXPECT_WIN32(DeleteFileW(path.c_str()), deleted, deleted ? 0xdeadbeef : ERROR_ACCESS_DENIED);
    struct stat st;
    EXPECT_EQ(lstat(PosixPath(path)->c_str(), &st) == 0, !deleted);
  }
  EXPECT_TRUE(FileExists(P("folder")));
  const HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
  for (HANDLE notAFile : {mutex, INVALID_HANDLE_VALUE, HANDLE{nullptr}})
    EXPECT_WIN32(GetFileType(notAFile), static_cast<DWORD>(FILE_TYPE_UNKNOWN), ERROR_INVALID_HANDLE);
  CloseHandle(mutex);
}

TEST_F(File, CreationDispositionsAndTheirErrors) {
  // Disposition, file there before, code left (ERROR_ALREADY_EXISTS on success too), content after.
  const std::tuple<DWORD, bool, DWORD, std::string> cases[] = {
      {CREATE_NEW, false, 0, ""},                              {CREATE_NEW, true, ERROR_FILE_EXISTS, "old!"},
      {CREATE_ALWAYS, false, 0, ""},                           {CREATE_ALWAYS, true, ERROR_ALREADY_EXISTS, ""},
      {OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND, "<none>"},  {OPEN_EXISTING, true, 0, "old!"},
      {OPEN_ALWAYS, false, 0, ""},                             {OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS, "old!"},
      {TRUNCATE_EXISTING, false, ERROR_FILE_NOT_FOUND, "<none>"}, {TRUNCATE_EXISTING, true, 0, ""},
  };
  for (const auto& [creation, exists, error, content] : cases) {
    SCOPED_TRACE(::testing::Message() << "disposition " << creation << (exists ? ", existing" : ", missing"));
    const std::string name = "f" + std::to_string(creation) + (exists ? "e" : "m");
    if (exists) Put(name, "old!");
    SetLastError(12345);
    const HANDLE file = Open(name, GENERIC_READ | GENERIC_WRITE, 0, creation);
    EXPECT_EQ(GetLastError(), error);
    EXPECT_EQ(file != INVALID_HANDLE_VALUE, error == 0 || error == ERROR_ALREADY_EXISTS);
    CloseHandle(file);
    EXPECT_EQ(FileExists(P(name)) ? Contents(P(name)) : "<none>", content);
  }

  Put("locked.txt", "x", 0444);
  mkdir(P("folder").c_str(), 0755);
  EXPECT_WIN32(Open("none/x", GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE, ERROR_PATH_NOT_FOUND);
  EXPECT_WIN32(Open("folder", 0, kShareAll, OPEN_EXISTING), INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED);
  EXPECT_WIN32(Open("locked.txt", GENERIC_WRITE, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED);
  EXPECT_WIN32(Open("locked.txt", GENERIC_READ, kShareAll, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE),
               INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED);
  EXPECT_WIN32(Open("x", GENERIC_READ, 0, 6), INVALID_HANDLE_VALUE, ERROR_INVALID_PARAMETER);
  EXPECT_WIN32(Open("locked.txt", GENERIC_READ, 0, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE,
               ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Contents(P("locked.txt")), "x");
  // A file without read permission can still be looked at without access.
  Put("secret", "x", 0);
  const HANDLE look = Open("secret", 0, kShareAll, OPEN_EXISTING);
  EXPECT_NE(look, INVALID_HANDLE_VALUE);
  CloseHandle(look);
}

TEST_F(File, ReadWriteSeekAndSize) {
  const HANDLE file = Open("data.bin", GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
  DWORD count = 0xcccccccc;
  ASSERT_TRUE(WriteFile(file, "hello world", 11, &count, nullptr));
  EXPECT_EQ(count, 11u);
  // Where a seek leaves the pointer, -1 when it fails.
  const auto seek = [&](LONGLONG offset, DWORD method) {
    LARGE_INTEGER to{.QuadPart = offset}, at{.QuadPart = -2};
    return SetFilePointerEx(file, to, &at, method) ? at.QuadPart : -1;
  };
  EXPECT_EQ(seek(-5, FILE_END), 6);
  // A refused seek leaves the pointer where it was, whatever it was counted from.
  EXPECT_WIN32(seek(-12, FILE_END), -1, ERROR_NEGATIVE_SEEK);
  EXPECT_WIN32(seek(-7, FILE_CURRENT), -1, ERROR_NEGATIVE_SEEK);
  char buffer[32];
  count = 0xcccccccc;
  ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &count, nullptr));
  EXPECT_EQ(std::string(buffer, count), "world");
  EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &count, nullptr));  // at the end: nothing, no failure
  EXPECT_EQ(count, 0u);
  EXPECT_WIN32(seek(-12, FILE_CURRENT), -1, ERROR_NEGATIVE_SEEK);
  EXPECT_WIN32(seek(-12, 3), -1, ERROR_INVALID_PARAMETER);
  // Writing past the end fills the gap with zeros.
  EXPECT_EQ(seek(2, FILE_CURRENT), 13);
  EXPECT_TRUE(WriteFile(file, "!", 1, &count, nullptr));
  EXPECT_TRUE(FlushFileBuffers(file));
  EXPECT_EQ(Contents(P("data.bin")), std::string("hello world\0\0!", 14));

  // Sizes beyond 32 bits, and one whose low half looks like the failure value.
  DWORD high = 0xcccccccc;
  ASSERT_EQ(truncate(P("data.bin").c_str(), 0x140000000), 0);
  EXPECT_EQ(GetFileSize(file, &high), 0x40000000u);
  EXPECT_EQ(high, 1u);
  ASSERT_EQ(truncate(P("data.bin").c_str(), 0x1FFFFFFFF), 0);
  EXPECT_WIN32(GetFileSize(file, &high), INVALID_FILE_SIZE, ERROR_SUCCESS);
  LARGE_INTEGER size;
  EXPECT_TRUE(GetFileSizeEx(file, &size));
  EXPECT_EQ(size.QuadPart, 0x1FFFFFFFF);
  EXPECT_TRUE(CloseHandle(file));

  // What a handle was not opened for, and handles that are not open files.
  Put("a.txt", "abc");
  const HANDLE reader = Open("a.txt", GENERIC_READ, kShareAll, OPEN_EXISTING);
  count = 0xcccccccc;
  EXPECT_WIN32(WriteFile(reader, "x", 1, &count, nullptr), FALSE, ERROR_ACCESS_DENIED);
  EXPECT_EQ(count, 0u);
  EXPECT_WIN32(FlushFileBuffers(reader), FALSE, ERROR_ACCESS_DENIED);
  EXPECT_WIN32(ReadFile(reader, buffer, 1, &count, buffer), FALSE, ERROR_INVALID_PARAMETER);  // overlapped
  CloseHandle(reader);
  const HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
  EXPECT_WIN32(ReadFile(reader, buffer, 1, &count, nullptr), FALSE, ERROR_INVALID_HANDLE);
  EXPECT_WIN32(GetFileSizeEx(mutex, &size), FALSE, ERROR_INVALID_HANDLE);
  EXPECT_WIN32(FlushFileBuffers(mutex), FALSE, ERROR_INVALID_HANDLE);
  CloseHandle(mutex);
}

// A write the system stops part-way (at the file-size limit) fails, not retried for ever.
TEST_F(File, WriteStoppedBySystemFails) {
  const HANDLE file = Open("limited", GENERIC_WRITE, 0, CREATE_ALWAYS);
  rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  signal(SIGXFSZ, SIG_IGN);
  const rlimit small{4, old.rlim_max};
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  DWORD count = 0;
  const BOOL written = WriteFile(file, "0123456789", 10, &count, nullptr);
  setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_FALSE(written);
  CloseHandle(file);
  EXPECT_EQ(Contents(P("limited")), "0123");
}

TEST_F(File, ShareModesAmongTheHandlesOfTheProcess) {
  constexpr DWORD R = GENERIC_READ, Wr = GENERIC_WRITE, SR = FILE_SHARE_READ, SW = FILE_SHARE_WRITE,
                  DOC = FILE_FLAG_DELETE_ON_CLOSE;
  struct Opening {
    DWORD access, share, flags;
  };
  const std::tuple<Opening, Opening, bool> cases[] = {
      {{R, SR, 0}, {R, SR, 0}, true},
      {{R, SR, 0}, {Wr, SR | SW, 0}, false},   // the first does not share writing
      {{Wr, SR | SW, 0}, {R, SR, 0}, false},   // the second does not share the first's writing
      {{R, SR | SW, 0}, {Wr, SR | SW, 0}, true},
      {{R | Wr, 0, 0}, {0, 0, 0}, true},       // no data access takes no part
      {{R, SR | SW, 0}, {R, SR | SW, DOC}, false},
      {{R, kShareAll, 0}, {R, kShareAll, DOC}, true},
      {{R, kShareAll, DOC}, {R, SR | SW, 0}, false},
  };
  for (const auto& [first, second, allowed] : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << first.access << "/" << first.share << " then "
                                      << second.access << "/" << second.share << "/" << second.flags);
    Put("shared.txt", "x");
    const HANDLE one = Open("shared.txt", first.access, first.share, OPEN_EXISTING, first.flags);
    ASSERT_NE(one, INVALID_HANDLE_VALUE);
    SetLastError(12345);
    const HANDLE two = Open("shared.txt", second.access, second.share, OPEN_EXISTING, second.flags);
    EXPECT_EQ(GetLastError(), allowed ? 0u : static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    if (two != INVALID_HANDLE_VALUE) CloseHandle(two);
    CloseHandle(one);
  }

  // Sharing is per file, whatever its name; nor may it be deleted or created over.
  Put("one", "x");
  ASSERT_EQ(link(P("one").c_str(), P("two").c_str()), 0);
  const HANDLE exclusive = Open("one", R, 0, OPEN_EXISTING);
  const HANDLE another = Open("another", R, 0, CREATE_NEW);  // a different file is not in the way
  EXPECT_NE(another, INVALID_HANDLE_VALUE);
  CloseHandle(another);
  EXPECT_WIN32(Open("two", R, kShareAll, OPEN_EXISTING), INVALID_HANDLE_VALUE, ERROR_SHARING_VIOLATION);
  EXPECT_WIN32(DeleteFileW(W("one").c_str()), FALSE, ERROR_SHARING_VIOLATION);
  EXPECT_WIN32(Open("one", Wr, kShareAll, CREATE_ALWAYS), INVALID_HANDLE_VALUE, ERROR_SHARING_VIOLATION);
  EXPECT_EQ(Contents(P("one")), "x");
  CloseHandle(exclusive);
  const HANDLE lenient = Open("one", R, kShareAll, OPEN_EXISTING);
  EXPECT_TRUE(DeleteFileW(W("one").c_str()));
  CloseHandle(lenient);
}

// Threads racing for one file without sharing: never two holders at once.
TEST_F(File, ExclusiveOpenHoldsAcrossThreads) {
  Put("contested", "x");
  std::atomic<int> holders = 0, granted = 0;
  std::atomic<bool> together = false;
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        const HANDLE file = Open("contested", GENERIC_READ, 0, OPEN_EXISTING);
        if (file == INVALID_HANDLE_VALUE) continue;
        ++granted;
        if (++holders > 1) together = true;
        --holders;
        CloseHandle(file);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_FALSE(together);
  EXPECT_GT(granted, 0);
}

TEST_F(File, DeleteOnCloseWaitsForTheLastHandle) {
  const HANDLE first = Open("temp.dat", GENERIC_WRITE, kShareAll, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE);
  const HANDLE second = Open("temp.dat", GENERIC_READ, kShareAll, OPEN_EXISTING);
  ASSERT_NE(second, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(first));
  EXPECT_TRUE(FileExists(P("temp.dat")));
  EXPECT_TRUE(CloseHandle(second));
  EXPECT_FALSE(FileExists(P("temp.dat")));
  // A file put in its place meanwhile is not the one that was to go.
  const HANDLE third = Open("temp.dat", GENERIC_WRITE, kShareAll, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE);
  ASSERT_EQ(rename(P("temp.dat").c_str(), P("moved.dat").c_str()), 0);
  Put("temp.dat", "keep");
  CloseHandle(third);
  EXPECT_EQ(Contents(P("temp.dat")), "keep");
}

TEST_F(File, TempPathIsTmpdirInWindowsForm) {
  WCHAR buffer[32] = {u'\xcccc'};
  SetEnv("TMPDIR", "/var/tmp/run");
  EXPECT_EQ(GetTempPathW(15, buffer), 16u);  // too small: untouched, the size it needs
  EXPECT_EQ(buffer[0], u'\xcccc');
  // Empty, relative or unset: /tmp.
  for (const char* value : {"/var/tmp/run", "", "relative/dir", "unset"}) {
    value == std::string("unset") ? UnsetEnv("TMPDIR") : SetEnv("TMPDIR", value);
    const std::u16string expected = *value == '/' ? u"Z:\\var\\tmp\\run\\" : u"Z:\\tmp\\";
    EXPECT_EQ(GetTempPathW(32, buffer), expected.size()) << value;
    EXPECT_EQ(std::u16string(buffer), expected) << value;
  }
}

TEST_F(File, SearchesMatchTheLastComponentWithoutCase) {
  Put("a.txt", "12345");
  Put("B.TXT", "");
  Put("c.log", "");
  Put(".hidden", "");
  mkdir(P("sub").c_str(), 0755);
  // Every name a search returns, in order; its error when it finds nothing.
  const auto names = [](const std::u16string& pattern) {
    WIN32_FIND_DATAW data;
    SetLastError(0);
    const HANDLE find = FindFirstFileW(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return "error " + std::to_string(GetLastError());
    std::string result;
    do {
      result += Utf16ToUtf8(data.cFileName) + " ";
    } while (FindNextFileW(find, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(find));
    return result;
  };
  const std::pair<std::u16string, std::string> cases[] = {
      {W("*"), ". .. .hidden a.txt B.TXT c.log sub "}, {W("*.*"), ". .. .hidden a.txt B.TXT c.log sub "},
      {W("*.txt"), "a.txt B.TXT "}, {W("?.LOG"), "c.log "}, {W("sub.*"), "sub "}, {W("A.TXT"), "a.txt "},
      {W("*b*"), "B.TXT sub "},
      {W("nothing*"), "error 2"}, {W("sub\\"), "error 2"}, {W("none\\*"), "error 3"},
      {u"Q:\\x\\*", "error 3"}, {W("s*\\x"), "error 123"},
      {u"c*", "c.log "}, {u"Z:?.txt", "a.txt B.TXT "},  // relative to the current folder
  };
  const std::filesystem::path outside = std::filesystem::current_path();
  std::filesystem::current_path(root_);
  for (const auto& [pattern, expected] : cases) EXPECT_EQ(names(pattern), expected) << Utf16ToUtf8(pattern);
  std::filesystem::current_path(outside);
  EXPECT_EQ(names(u"Z:\\*").find(". .."), std::string::npos);  // the root has neither
  EXPECT_WIN32(FindFirstFileW(W("*").c_str(), nullptr), INVALID_HANDLE_VALUE, ERROR_INVALID_PARAMETER);

  // Each entry's attributes, as a listing of the folder gives them; a link
  // to nothing is listed too.
  ASSERT_EQ(chmod(P("c.log").c_str(), 0444), 0);
  ASSERT_EQ(symlink("nowhere", P("dangling").c_str()), 0);
  std::map<std::string, DWORD> attributes;
  WIN32_FIND_DATAW entry;
  const HANDLE all = FindFirstFileW(W("*").c_str(), &entry);
  do attributes[Utf16ToUtf8(entry.cFileName)] = entry.dwFileAttributes;
  while (FindNextFileW(all, &entry));
  EXPECT_TRUE(FindClose(all));
  EXPECT_EQ(attributes["sub"], static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(attributes[".hidden"], static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(attributes["c.log"], static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(attributes["B.TXT"], static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(attributes.count("dangling"), 1u);

  WIN32_FIND_DATAW data;
  ASSERT_EQ(truncate(P("a.txt").c_str(), 0x100000005), 0);  // beyond 32 bits
  const HANDLE find = FindFirstFileW(W("a.txt").c_str(), &data);
  EXPECT_EQ(data.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(data.nFileSizeLow, 5u);
  EXPECT_EQ(data.nFileSizeHigh, 1u);
  // Written in this century: after 2000-01-01 in 100 ns steps since 1601.
  EXPECT_GT(static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32, 125911584000000000ull);
  // A search closes once, by CloseHandle too; FindClose closes nothing else.
  EXPECT_TRUE(CloseHandle(find));
  EXPECT_WIN32(FindClose(find), FALSE, ERROR_INVALID_HANDLE);
  EXPECT_WIN32(FindNextFileW(find, &data), FALSE, ERROR_INVALID_HANDLE);
  const HANDLE file = Open("a.txt", GENERIC_READ, kShareAll, OPEN_EXISTING);
  EXPECT_WIN32(FindClose(file), FALSE, ERROR_INVALID_HANDLE);
  EXPECT_TRUE(CloseHandle(file));
}

}  // namespace
