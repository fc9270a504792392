// The shell: the Shell Folders key, the trash behind the file operation, and item-ID lists.
#include "compat/win32/Shell.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "compat/win32/File.h"
#include "compat/win32/Path.h"
#include "compat/win32/ShellInternal.h"
#include "compat/win32/StringConv.h"
#include "tests/compat/win32/Win32Expect.h"
#include "tests/support/IsolatedTest.h"
#include "tests/support/Registry.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using compat::win32::Utf16ToUtf8;
using compat::win32::WindowsPath;
using testing_support::ReadFile;

constexpr char16_t kShellFolders[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

class Shell : public testing_support::IsolatedTest {
 protected:
  // A home with a desktop of its own name, before the registry is first used.
  Shell() {
    SetEnv("HOME", folder().path());
    SetEnv("XDG_CONFIG_HOME", folder() / "cfg");
    UnsetEnv("XDG_DATA_HOME");
    fs::create_directory(folder() / "cfg");
    testing_support::WriteFile(folder() / "cfg/user-dirs.dirs",
                               "# written by the desktop\n"
                               "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
                               "XDG_DOCUMENTS_DIR=\"relative/is/ignored\"\n");
  }
  std::string Shown(const std::string& name) const { return Utf16ToUtf8(WindowsPath(folder() / name)); }
  std::string Value(const char16_t* name) const {
    return Utf16ToUtf8(testing_support::GetRegString(HKEY_CURRENT_USER, kShellFolders, name).value_or(u"<none>"));
  }
  // The path of a list, or "<none>" when it names none.
  static std::string PathOf(LPCITEMIDLIST list) {
    WCHAR path[MAX_PATH];
    path[0] = u'#';
    const BOOL found = SHGetPathFromIDListW(list, path);
    EXPECT_EQ(found != FALSE, path[0] != 0);
    return found ? Utf16ToUtf8(path) : "<none>";
  }
  static LPITEMIDLIST Parse(const std::u16string& path, HRESULT expected = S_OK) {
    IShellFolder* desktop = nullptr;
    EXPECT_EQ(SHGetDesktopFolder(&desktop), S_OK);
    std::u16string name = path;
    LPITEMIDLIST list = reinterpret_cast<LPITEMIDLIST>(1);
    EXPECT_EQ(desktop->ParseDisplayName(nullptr, nullptr, name.data(), nullptr, &list, nullptr), expected);
    EXPECT_EQ(desktop->Release(), 0u);
    return list;
  }
  static int Count(LPCITEMIDLIST list) {
    int items = 0;
    for (LPCITEMIDLIST at = list; at->mkid.cb != 0; at = ILGetNext(at)) ++items;
    return items;
  }
};

TEST_F(Shell, ShellFoldersKeyIsFilledAtFirstUseAndThenLeftAlone) {
  EXPECT_EQ(Value(u"Desktop"), Shown("Schreibtisch"));
  EXPECT_EQ(Value(u"Personal"), Shown("Documents"));
  EXPECT_EQ(Value(u"AppData"), Shown("cfg"));
  EXPECT_EQ(Value(u"Local AppData"), Shown(".local/share"));

  // Once there the key is the user's: a changed or removed value stays so.
  testing_support::SetRegString(HKEY_CURRENT_USER, kShellFolders, u"Desktop", u"Z:\\elsewhere");
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kShellFolders, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueW(key, u"Personal"), ERROR_SUCCESS);
  RegCloseKey(key);
  compat::win32::ResetRegistryForTests();
  EXPECT_EQ(Value(u"Desktop"), "Z:\\elsewhere");
  EXPECT_EQ(Value(u"Personal"), "<none>");
}

TEST_F(Shell, DeletingMovesItemsIntoTheTrashWithTheirRecords) {
  testing_support::WriteFile(folder() / "doc.txt", "keep me");
  fs::create_directories(folder() / "my tree%\u00fc/inner");
  const std::u16string both =
      WindowsPath(folder() / "doc.txt") + u'\0' + WindowsPath(folder() / "my tree%\u00fc") + u"\\" + u'\0';
  SHFILEOPSTRUCTW operation{};
  operation.wFunc = FO_DELETE;
  operation.pFrom = both.c_str();
  operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_NOERRORUI;
  EXPECT_EQ(SHFileOperationW(&operation), 0);
  const std::string trash = folder() / ".local/share/Trash";
  EXPECT_FALSE(fs::exists(folder() / "doc.txt") || fs::exists(folder() / "my tree%\u00fc"));
  EXPECT_EQ(ReadFile(trash + "/files/doc.txt"), "keep me");
  EXPECT_TRUE(fs::is_directory(trash + "/files/my tree%\u00fc/inner"));
  const std::string info = ReadFile(trash + "/info/doc.txt.trashinfo");
  EXPECT_EQ(info.rfind("[Trash Info]\nPath=" + (folder() / "doc.txt") + "\nDeletionDate=", 0), 0u) << info;
  // A folder named with a trailing separator is recorded without it; its path is percent-encoded as UTF-8.
  EXPECT_NE(ReadFile(trash + "/info/my tree%\u00fc.trashinfo").find("Path=" + (folder() / "my%20tree%25%C3%BC\n")),
            std::string::npos);

  // A second item of the same name gets a name of its own in the trash.
  testing_support::WriteFile(folder() / "doc.txt", "second");
  const std::u16string one = WindowsPath(folder() / "doc.txt") + u'\0';
  operation.pFrom = one.c_str();
  EXPECT_EQ(SHFileOperationW(&operation), 0);
  EXPECT_EQ(ReadFile(trash + "/files/doc.txt"), "keep me");
  EXPECT_EQ(ReadFile(trash + "/files/doc.2.txt"), "second");
  EXPECT_TRUE(fs::exists(trash + "/info/doc.2.txt.trashinfo"));

  // Gone already; and nothing is ever deleted outright.
  EXPECT_EQ(SHFileOperationW(&operation), ERROR_FILE_NOT_FOUND);
  testing_support::WriteFile(folder() / "doc.txt", "third");
  operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION;
  EXPECT_EQ(SHFileOperationW(&operation), ERROR_NOT_SUPPORTED);
  EXPECT_EQ(ReadFile(folder() / "doc.txt"), "third");
}

// A copy into the trash that fails part-way leaves neither a partial copy
// nor a record, keeps the item, and a later deletion of the name works.
TEST_F(Shell, AFailedCopyIntoTheTrashLeavesNothingAndJamsNothing) {
  using compat::win32::MoveToTrash;
  using compat::win32::TrashMove;
  const std::string trash = folder() / ".local/share/Trash";
  const auto listing = [&] {
    std::string names;
    for (const char* part : {"/files", "/info"}) {
      for (const auto& entry : fs::recursive_directory_iterator(trash + part))
        names += entry.path().string().substr(trash.size()) + " ";
    }
    return names;
  };
  fs::create_directories(folder() / "tree/inner");
  testing_support::WriteFile(folder() / "tree/inner/a.txt", "A");
  ASSERT_EQ(mkfifo((folder() / "tree/pipe").c_str(), 0600), 0);
  EXPECT_EQ(MoveToTrash(folder() / "tree", TrashMove::kCopy), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
  EXPECT_EQ(listing(), "");
  EXPECT_EQ(ReadFile(folder() / "tree/inner/a.txt"), "A");

  // A file larger than the copy may write: the code says so.
  testing_support::WriteFile(folder() / "tree/big.bin", std::string(256 * 1024, 'x'));
  fs::remove(folder() / "tree/pipe");
  EXPECT_EQ(testing_support::Reap(testing_support::ForkChild([&] {
              const rlimit limit{64 * 1024, 64 * 1024};
              signal(SIGXFSZ, SIG_IGN);
              return setrlimit(RLIMIT_FSIZE, &limit) == 0 ? static_cast<int>(MoveToTrash(folder() / "tree", TrashMove::kCopy)) : 255;
            })),
            ERROR_FILE_TOO_LARGE);
  EXPECT_EQ(listing(), "");
  EXPECT_EQ(fs::file_size(folder() / "tree/big.bin"), 256u * 1024);

  // A name taken in files/ without its record is passed by, as is one taken
  // in info/ alone; both parts of an entry keep one name. The copy keeps the
  // modes of folders and files.
  fs::create_directory(trash + "/files/tree");
  testing_support::WriteFile(trash + "/info/tree.2.trashinfo", "");
  fs::permissions(folder() / "tree", fs::perms(0750));
  fs::permissions(folder() / "tree/big.bin", fs::perms(0640));
  EXPECT_EQ(MoveToTrash(folder() / "tree", TrashMove::kCopy), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_FALSE(fs::exists(folder() / "tree"));
  EXPECT_EQ(fs::status(trash + "/files/tree.3").permissions(), fs::perms(0750));
  EXPECT_EQ(fs::status(trash + "/files/tree.3/big.bin").permissions(), fs::perms(0640));
  EXPECT_EQ(ReadFile(trash + "/files/tree.3/inner/a.txt"), "A");
  EXPECT_EQ(fs::file_size(trash + "/files/tree.3/big.bin"), 256u * 1024);
  EXPECT_NE(ReadFile(trash + "/info/tree.3.trashinfo").find("Path=" + (folder() / "tree") + "\n"), std::string::npos);
  testing_support::WriteFile(folder() / ".profile", "p");
  fs::create_directory(trash + "/files/.profile");
  EXPECT_EQ(MoveToTrash(folder() / ".profile"), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(ReadFile(trash + "/files/.profile.2"), "p");
  EXPECT_TRUE(fs::exists(trash + "/info/.profile.2.trashinfo"));
  EXPECT_FALSE(fs::exists(trash + "/info/.profile.trashinfo"));
}

// The user's folder file is read only when it is a small regular file: a
// pipe, an endless device or a huge file in its place gives the default
// folders at once, and the first use of the registry stays small.
TEST_F(Shell, FirstUseNeitherWaitsOnNorFillsMemoryFromTheUsersFolderFile) {
  const std::string dirs = folder() / "cfg/user-dirs.dirs";
  const struct {
    const char* kind;
    int (*make)(const std::string&);
  } kFiles[] = {
      {"pipe", [](const std::string& path) { return mkfifo(path.c_str(), 0600); }},
      {"endless device", [](const std::string& path) { return symlink("/dev/zero", path.c_str()); }},
      {"huge file",
       [](const std::string& path) {
         testing_support::WriteFile(path, "");
         return truncate(path.c_str(), 1 << 30);
       }},
  };
  for (const auto& file : kFiles) {
    SCOPED_TRACE(file.kind);
    fs::remove(dirs);
    fs::remove_all(registryFolder());
    fs::create_directory(registryFolder());
    ASSERT_EQ(file.make(dirs), 0);
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    const pid_t child = fork();
    if (child == 0) {
      alarm(20);
      _exit(Value(u"Desktop") == Shown("Desktop") ? 0 : 1);
    }
    int status = 0;
    rusage used{};
    ASSERT_EQ(wait4(child, &status, 0, &used), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_LT(used.ru_maxrss - before.ru_maxrss, 64 * 1024) << "kilobytes";
  }
}

TEST_F(Shell, ItemListsRoundTripPaths) {
  const struct {
    std::u16string path;
    int items;
    std::string back;
  } kCases[] = {
      {u"Z:\\", 1, "Z:\\"}, {u"Z:\\x\\..\\y\\", 2, "Z:\\y"}, {u"/usr/lib", 3, "Z:\\usr\\lib"},
      {WindowsPath(folder() / "a b/\xC3\xA9t\xC3\xA9.txt"), 0, Shown("a b/\xC3\xA9t\xC3\xA9.txt")},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(Utf16ToUtf8(c.path));
    const LPITEMIDLIST list = Parse(c.path);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(c.items > 0 ? Count(list) : 0, c.items);  // 0: not counted
    EXPECT_EQ(PathOf(list), c.back);
    const LPITEMIDLIST copy = ILClone(list);
    ASSERT_EQ(ILGetSize(copy), ILGetSize(list));
    EXPECT_EQ(std::memcmp(copy, list, ILGetSize(list)), 0);
    // The parent's list and the last item make the whole again.
    const LPITEMIDLIST last = ILFindLastID(copy);
    const LPITEMIDLIST tail = ILClone(last);
    last->mkid.cb = 0;
    const LPITEMIDLIST whole = ILCombine(copy, tail);
    EXPECT_EQ(PathOf(whole), c.back);
    EXPECT_EQ(ILGetSize(whole), ILGetSize(list));
    for (LPITEMIDLIST l : {list, copy, tail, whole}) ILFree(l);
  }
  // Only absolute paths of a mapped drive name items.
  for (const char16_t* path : {u"relative\\x", u"C:\\x", u"\\\\host\\share"})
    EXPECT_EQ(Parse(path, E_INVALIDARG), nullptr) << Utf16ToUtf8(path);
}

TEST_F(Shell, ListsThatNameNoPathAndTheirEnds) {
  // "a" as the first item is no drive; a path of MAX_PATH characters does not fit.
  const BYTE noDrive[] = {4, 0, 'a', 0, 0, 0};
  EXPECT_EQ(PathOf(reinterpret_cast<LPCITEMIDLIST>(noDrive)), "<none>");
  const LPITEMIDLIST longPath = Parse(u"Z:\\" + std::u16string(MAX_PATH, u'n'));
  EXPECT_EQ(PathOf(longPath), "<none>");
  EXPECT_EQ(ILGetNext(ILGetNext(longPath))->mkid.cb, 0);
  EXPECT_EQ(ILGetNext(ILGetNext(ILGetNext(longPath))), nullptr);
  ILFree(longPath);
  EXPECT_EQ(ILGetSize(nullptr), 0u);
  EXPECT_EQ(ILCombine(nullptr, nullptr), nullptr);
  const LPITEMIDLIST drive = Parse(u"Z:\\");
  const LPITEMIDLIST alone = ILCombine(nullptr, drive);
  EXPECT_EQ(PathOf(alone), "Z:\\");
  ILFree(alone);
  ILFree(drive);

  IMalloc* allocator = nullptr;
  ASSERT_EQ(SHGetMalloc(&allocator), S_OK);
  void* block = allocator->Alloc(16);
  ASSERT_NE(block, nullptr);
  allocator->Free(allocator->Realloc(block, 64));
}

// The desktop is the root of the namespace: the empty list, which names the desktop folder.
TEST_F(Shell, SpecialFoldersAreListsOfTheUsersFolders) {
  LPITEMIDLIST list = nullptr;
  ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &list), S_OK);
  EXPECT_EQ(ILGetSize(list), 2u);
  EXPECT_EQ(PathOf(list), Shown("Schreibtisch"));
  ILFree(list);
  EXPECT_EQ(SHGetSpecialFolderLocation(nullptr, 0x7777, &list), E_INVALIDARG);
  EXPECT_EQ(list, nullptr);
}

}  // namespace

// ShellExecuteW runs the xdg-open first on PATH: here a script that keeps the
// addresses it was given.
class ShellExecute : public testing_support::IsolatedTest {
 protected:
  ShellExecute() { UseFakeOpener(); }
  static INT_PTR Open(const std::u16string& file, LPCWSTR verb = nullptr, LPCWSTR parameters = nullptr) {
    return reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, verb, file.c_str(), parameters, u".", SW_SHOWDEFAULT));
  }
  // What the opener was given, one address a line; then forgets it.
  std::string Opened() const {
    if (!testing_support::FileExists(openedFile())) return "<not started>";
    std::string lines = ReadFile(openedFile());
    fs::remove(openedFile());
    return lines;
  }
};

TEST_F(ShellExecute, HandsTheAddressOverAsOneArgumentUntouched) {
  // Quotes, blanks, a newline, a command substitution and non-ASCII text.
  const std::u16string address = u"https://example.com/a b?q=\"x\"&r='y'\n$(touch pwned);`id`&l=\u00e9\u4e2d";
  EXPECT_GT(Open(address), 32);
  EXPECT_EQ(Opened(), Utf16ToUtf8(address) + "\n");
  EXPECT_FALSE(testing_support::FileExists("pwned"));
  // A Windows path becomes the POSIX file it names; "open" is the default verb.
  EXPECT_GT(Open(u"Z:\\tmp\\a file.txt", u"open"), 32);
  EXPECT_EQ(Opened(), "/tmp/a file.txt\n");
  EXPECT_GT(Open(u"\\\\?\\Z:\\tmp\\b.txt"), 32);  // a colon past a prefix is no scheme
  EXPECT_EQ(Opened(), "/tmp/b.txt\n");
}

TEST_F(ShellExecute, FailuresAnswerThirtyTwoOrLess) {
  const struct {
    const char* what;
    const char* exit;
    const char* path;
    const char* display;
    std::u16string file;
    LPCWSTR verb;
    LPCWSTR parameters;
    INT_PTR expected;
  } rows[] = {
      {"opener fails", "3", nullptr, ":99", u"https://example.com/", nullptr, nullptr, SE_ERR_NOASSOC},
      {"no opener on PATH", "0", "/nonexistent", ":99", u"https://example.com/", nullptr, nullptr, SE_ERR_FNF},
      {"no display", "0", nullptr, "", u"https://example.com/", nullptr, nullptr, SE_ERR_ACCESSDENIED},
      {"another verb", "0", nullptr, ":99", u"https://example.com/", u"print", nullptr, SE_ERR_NOASSOC},
      {"parameters", "0", nullptr, ":99", u"https://example.com/", nullptr, u"-x", SE_ERR_NOASSOC},
      {"option-like name", "0", nullptr, ":99", u"--help", nullptr, nullptr, SE_ERR_FNF},
      {"unmapped drive", "0", nullptr, ":99", u"C:\\a.txt", nullptr, nullptr, SE_ERR_FNF},
      {"empty name", "0", nullptr, ":99", u"", nullptr, nullptr, SE_ERR_FNF},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    SetEnv("OPENER_EXIT", row.exit);
    SetEnv("PATH", row.path != nullptr ? row.path : folder() / "bin");
    SetEnv("DISPLAY", row.display);
    EXPECT_EQ(Open(row.file, row.verb, row.parameters), row.expected);
  }
}
