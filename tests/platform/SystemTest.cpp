// The system object: subsystems, paths, files, folders, the trash, unique names, the system's version.
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>
#include <thread>
#include <tuple>

#include "compat/win32/Registry.h"
#include "compat/win32/Shell.h"
#include "foundation/Exception.h"
#include "platform/win32/System.h"
#include "tests/platform/PlatformTestSupport.h"
#include "tests/support/Registry.h"

namespace lumo {
namespace {

namespace fs = std::filesystem;
using test::TextOf;
using test::Uri;
using testing_support::ReadFile;

class System : public test::FileTest {
 protected:
  System() { SetEnv("XDG_DATA_HOME", folder() / "data"); }
  void Write(const std::string& name, const std::string& content = "x") const {
    testing_support::WriteFile(Path(name), content);
  }
  P<win32::CSystem> system = make<win32::CSystem>(make<CMersenneTwisterRandomNumberGenerator>(7u));
};

TEST_F(System, SubsystemsAreFoundInRegistrationOrderAndUnregisteredOnce) {
  const P<IBase> first = Uri("first"), second = Uri("second");
  system->RegisterSubSystem("IDevices", first);
  system->RegisterSubSystem("IDevices", second);
  system->RegisterSubSystem("IDevices", first);
  EXPECT_EQ(system->GetSubSystem("IDevices").get(), first.get());
  EXPECT_EQ(system->GetSubSystems("IDevices")->getCount(), 3);
  EXPECT_EQ(system->FindSubSystem("ISomethingElse").get(), nullptr);
  EXPECT_TRUE(system->UnregisterSubSystem("IDevices", first));
  EXPECT_EQ(system->GetSubSystem("IDevices").get(), second.get());
  EXPECT_FALSE(system->UnregisterSubSystem("IOther", second));
  for (const P<IBase>& object : {second, first}) EXPECT_TRUE(system->UnregisterSubSystem("IDevices", object));
  EXPECT_FALSE(system->UnregisterSubSystem("IDevices", first));
  EXPECT_EQ(system->GetSubSystems("IDevices")->getCount(), 0);
  EXPECT_EQ(TextOf<CNoSuchObjectError>([&] { system->GetSubSystem("IDevices"); }),
            "No sub system of type IDevices was found.");
  // A registration waits while another thread holds the system's mutex.
  system->GetMutex()->Lock();
  std::thread late([&] { system->RegisterSubSystem("ILate", first); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(system->FindSubSystem("ILate").get(), nullptr);
  system->GetMutex()->Unlock();
  late.join();
  EXPECT_EQ(system->FindSubSystem("ILate").get(), first.get());
}

TEST_F(System, WindowsPathsBecomeFileUris) {
  const std::pair<const char*, const char*> kCases[] = {
      {"C:\\a\\b.txt", "file:///C:/a/b.txt"},
      {"\\\\?\\C:\\a", "file:///C:/a"},
      {"\\\\server\\share\\x", "file://server/share/x"},
      {"\\\\?\\UNC\\server\\share", "file://server/share"},
      {"\\\\server", "file://server"},
      {"a\\b", "a/b"}, {"C:", "file:///C:"},
  };
  for (const auto& [path, uri] : kCases)
    EXPECT_EQ(ToUTF8(system->FromWindowsPath(path)->getText()), uri) << path;
  // Back again, as far as the Windows form goes.
  EXPECT_EQ(ToUTF8(system->ToWindowsPath(system->FromWindowsPath("\\\\host\\s\\x"), false)), "\\\\host\\s\\x");
}

TEST_F(System, FilesAndFoldersAreToldApartAndMade) {
  Write("f", "12345");
  const std::string deep = "d/" + std::string(240, 'n');  // long enough for the "\\?\" form
  fs::create_directories(Path(deep));
  enum Kind { kNone, kFile, kFolder };
  const std::pair<P<IURI>, Kind> kKinds[] = {
      {FileUri("f"), kFile},          {FileUri("d"), kFolder},        {FileUri("d/"), kFolder},
      {FileUri(deep), kFolder},       {FileUri(deep + "/"), kFolder}, {FileUri("missing"), kNone},
      {Uri("http://host/f"), kNone},  {Uri("file:///Z:"), kFolder},
      {system->FromWindowsPath("\\\\?\\Z:\\"), kFolder}};
  for (const auto& [uri, kind] : kKinds)
    EXPECT_EQ(std::pair(system->FileExists(uri), system->FolderExists(uri)),
              std::pair(kind == kFile, kind == kFolder)) << ToUTF8(uri->getText());
  // Telling a file by opening it leaves no handle open.
  const auto openFiles = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()); };
  const auto before = openFiles();
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(system->FileExists(FileUri("f")));
  EXPECT_EQ(openFiles(), before);
  EXPECT_EQ(system->GetFileSize(FileUri("f")), 5u);
  EXPECT_THROW(system->GetFileSize(FileUri("missing")), CFileNotFoundError);
  // Folders are made at every level; an existing one fails only when asked to.
  system->CreateFolder(FileUri("a/b/c"), true);
  EXPECT_TRUE(fs::is_directory(Path("a/b/c")));
  system->CreateFolder(FileUri("a/b/c"), false);
  EXPECT_EQ(TextOf<CError>([&] { system->CreateFolder(FileUri("a/b"), true); }),
            "Error creating the folder 'file:///Z:" + Path("a/b") +
                "' (Cannot create a file when that file already exists.).");
  // A level that is a file, or a URI that names no path, fails whether or not the folder may exist.
  for (const P<IURI>& bad : {FileUri("f/sub"), Uri("http://host/x")})
    EXPECT_THROW(system->CreateFolder(bad, false), CError) << ToUTF8(bad->getText());
}

TEST_F(System, DeletingTrashesOnlyTheKindOfItemAskedFor) {
  Write("doc.txt", "keep me");
  fs::create_directories(Path("tree/inner"));
  EXPECT_EQ(TextOf<CError>([&] { system->DeleteFile(FileUri("tree")); }),
            "Error deleting the file '" + Shown("tree") + "' (not a file).");
  EXPECT_EQ(TextOf<CError>([&] { system->DeleteFolder(FileUri("doc.txt")); }),
            "Error deleting the folder '" + Shown("doc.txt") + "' (not a folder).");
  EXPECT_TRUE(system->DeleteFile(FileUri("doc.txt")));
  EXPECT_TRUE(system->DeleteFolder(FileUri("tree")));
  EXPECT_FALSE(fs::exists(Path("doc.txt")) || fs::exists(Path("tree")));
  EXPECT_EQ(ReadFile(Path("data/Trash/files/doc.txt")), "keep me");
  EXPECT_TRUE(fs::exists(Path("data/Trash/info/doc.txt.trashinfo")));
  EXPECT_TRUE(fs::is_directory(Path("data/Trash/files/tree/inner")));
}

TEST_F(System, UriDeletionsTakeFileUrisOnly) {
  using Delete = bool (win32::CSystem::*)(const P<IURI>&);
  // The deletion, what it is given (a file "f" or a folder "d"), and whether it raises the wrong-kind error.
  const std::tuple<Delete, const char*, bool> kCases[] = {
      {&win32::CSystem::DeleteByURI, "f", false},      {&win32::CSystem::DeleteByURI, "d", false},
      {&win32::CSystem::DeleteFileByURI, "f", false},  {&win32::CSystem::DeleteFileByURI, "d", true},
      {&win32::CSystem::DeleteFolderByURI, "d", false}, {&win32::CSystem::DeleteFolderByURI, "f", true},
  };
  for (const auto& [del, name, refused] : kCases) {
    SCOPED_TRACE(name);
    Write("f");
    fs::create_directories(Path("d/inner"));
    for (const char* other : {"http://host/f", "ftp://host/d/"})
      EXPECT_THROW(((*system).*del)(Uri(other)), CInvalidArgError);
    if (refused) {
      EXPECT_THROW(((*system).*del)(FileUri(name)), CError);
      EXPECT_TRUE(fs::exists(Path(name)));
    } else {
      EXPECT_TRUE(((*system).*del)(FileUri(name)));
      EXPECT_FALSE(fs::exists(Path(name)));
      EXPECT_FALSE(((*system).*del)(FileUri(name)));
    }
  }
}

TEST_F(System, MovesAndCopiesTrashTheOldTargetOnlyWithOverwrite) {
  enum Op { kMoveFile, kMoveFolder, kCopyFile };
  const struct {
    Op op;
    const char* from;
    const char* to;
    bool overwrite;
    bool fails;
    const char* trashed;  // what the trash holds afterwards under the target's name, "" nothing
  } kCases[] = {
      {kMoveFile, "a", "b", false, true, ""},      {kMoveFile, "a", "b", true, false, "B"},
      {kCopyFile, "a", "b", true, false, "B"},     {kMoveFile, "a", "new", false, false, ""},
      {kCopyFile, "missing", "x", true, true, ""}, {kMoveFolder, "d", "e", true, false, "<folder>"},
      {kMoveFolder, "a", "x", false, true, ""},    {kMoveFile, "d", "x", false, true, ""},
      {kCopyFile, "a", "a", true, true, ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.from) + " to " + c.to);
    fs::remove_all(Path("data"));
    Write("a", "A");
    Write("b", "B");
    fs::create_directories(Path("d/inner"));
    fs::create_directories(Path("e"));
    const auto act = [&] {
      if (c.op == kMoveFile) system->MoveFile(FileUri(c.from), FileUri(c.to), c.overwrite);
      if (c.op == kMoveFolder) system->MoveFolder(FileUri(c.from), FileUri(c.to), c.overwrite);
      if (c.op == kCopyFile) system->CopyFile(FileUri(c.from), FileUri(c.to), c.overwrite);
    };
    if (c.fails) {
      // A failed copy says "moving", as a failed move does.
      EXPECT_EQ(TextOf<CFileError>(act), std::string("Error moving ") + (c.op == kMoveFolder ? "folder" : "file") +
                                             " '" + Shown(c.from) + "' to '" + Shown(c.to) + "'.");
      EXPECT_EQ(fs::exists(Path(c.from)), std::string(c.from) != "missing");
      continue;
    }
    act();
    EXPECT_EQ(fs::exists(Path(c.from)), c.op == kCopyFile);
    const std::string to = Path(c.to);
    EXPECT_TRUE(c.op == kMoveFolder ? fs::is_directory(to + "/inner") : ReadFile(to) == "A");
    const std::string trash = Path(std::string("data/Trash/files/") + c.to);
    EXPECT_EQ(!fs::exists(trash) ? "" : fs::is_directory(trash) ? "<folder>" : ReadFile(trash), c.trashed);
    fs::remove_all(Path(c.to));
  }
  EXPECT_THROW(system->MoveFile(Uri("http://h/a"), FileUri("x"), true), CInvalidArgError);
  // A drive that maps to nothing here.
  EXPECT_THROW(system->MoveFile(FileUri("a"), Uri("file:///C:/a"), true), CFileError);
}

TEST_F(System, UniqueNamesAreNewAndStepPastTakenOnes) {
  const P<IURI> here = FileUri("");
  const P<IURI> file = system->CreateUniqueFile(here, "pre", ".tmp");
  const P<IURI> sub = system->CreateUniqueFolder(here, "dir", "");
  const std::string fileName = ToUTF8(file->getFileName());
  EXPECT_EQ(fileName.size(), 3u + 8 + 4);
  EXPECT_EQ(fileName.find_first_not_of("0123456789ABCDEF", 3), 11u) << fileName;
  EXPECT_TRUE(fs::is_regular_file(Path(fileName)));
  EXPECT_TRUE(ToUTF8(sub->getText()).ends_with("/") && system->FolderExists(sub));
  // A generator repeating the first one's numbers meets the taken name first and takes the next.
  const auto twin = make<win32::CSystem>(make<CMersenneTwisterRandomNumberGenerator>(7u));
  const P<IURI> other = twin->CreateUniqueFile(here, "pre", ".tmp");
  EXPECT_NE(ToUTF8(other->getText()), ToUTF8(file->getText()));
  EXPECT_TRUE(twin->FileExists(other));
  // Objects made without a generator share the process's one.
  EXPECT_EQ(make<win32::CSystem>()->GetRandomNumberGenerator().get(),
            make<win32::CSystem>()->GetRandomNumberGenerator().get());
  // Every attempt fails in a missing folder: the last failure is raised.
  EXPECT_THROW(system->CreateUniqueFile(FileUri("missing/"), "x", ""), CFileNotFoundError);
  // The temporary and current folders are folder URIs.
  SetEnv("TMPDIR", folder().path());
  EXPECT_EQ(ToUTF8(system->GetTempFolder()->getText()), "file:///Z:" + folder().path() + "/");
  EXPECT_TRUE(system->FileExists(system->CreateTempFile("t", "")));
  EXPECT_TRUE(system->FolderExists(system->CreateTempFolder("t", "")));
  EXPECT_EQ(ToUTF8(system->GetCurrentFolder()->getText()), "file:///Z:" + fs::current_path().string() + "/");
  // A current folder deleted meanwhile has no path.
  fs::create_directory(Path("gone"));
  fs::current_path(Path("gone"));
  fs::remove(Path("gone"));
  EXPECT_THROW(system->GetCurrentFolder(), CFileNotFoundError);
}

TEST_F(System, OSNameAndVersionTestsFollowTheEmulatedVersion) {
  // A version, its name, and which of IsNT, IsWin98, IsWinME, IsWin2000, IsWinXP and IsVistaOrLater pass.
  const std::tuple<const char16_t*, const char*, const char*> kCases[] = {
      {u"win95", "Windows 95", "000000"},   {u"win98", "Windows 98", "010000"},
      {u"winme", "Windows ME", "011000"},   {u"nt40", "Windows NT 4.0", "100000"},
      {u"win2k", "Windows 2000", "111100"}, {u"winxp", "Windows XP", "111110"},
      {u"win2003", "Windows 2003 Server", "111110"}, {u"vista", "Windows NT 6.0", "111111"},
  };
  for (const auto& [version, name, passes] : kCases) {
    testing_support::SetRegString(HKEY_LOCAL_MACHINE, u"Software\\Win32Compat", u"Version", version);
    EXPECT_TRUE(ToUTF8(system->GetOSName()).starts_with(name)) << name;
    const bool flags[] = {system->IsNT(),           system->IsWin98OrLater(), system->IsWinMEOrLater(),
                          system->IsWin2000OrLater(), system->IsWinXPOrLater(), system->IsVistaOrLater()};
    for (std::size_t i = 0; i < std::size(flags); ++i) EXPECT_EQ(flags[i], passes[i] == '1') << name << i;
  }
}

TEST_F(System, ShellFoldersComeFromTheRegistryElseFromTheShell) {
  SetEnv("HOME", folder().path());
  SetEnv("XDG_CONFIG_HOME", Path("cfg"));
  fs::create_directory(Path("cfg"));
  Write("cfg/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
  // The registry's key is filled from the user's folders; the user may point one elsewhere or remove it.
  constexpr char16_t kKey[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  testing_support::SetRegString(HKEY_CURRENT_USER, kKey, u"Personal", u"C:\\Docs");
  compat::win32::ScopedKey key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_SET_VALUE, key.Receive()), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueW(key.Get(), u"AppData"), ERROR_SUCCESS);
  SetEnv("XDG_CONFIG_HOME", Path("moved"));
  EXPECT_EQ(ToUTF8(system->GetDesktopFolder()->getText()), "file:///Z:" + Path("Schreibtisch") + "/");
  EXPECT_EQ(ToUTF8(system->GetDocumentsFolder()->getText()), "file:///C:/Docs/");
  EXPECT_EQ(ToUTF8(system->GetAppDataFolder(false)->getText()), "file:///Z:" + Path("moved") + "/");
  EXPECT_EQ(ToUTF8(system->GetAppDataFolder(true)->getText()), "file:///Z:" + Path("data") + "/");
  // Special folders are what the shell's lists of them name.
  const std::pair<std::int32_t, std::string> kCases[] = {
      {0x0000, "file:///Z:" + Path("Desktop") + "/"},
      {0x0005, "file:///Z:" + Path("Documents") + "/"},
      {0x001a, "file:///Z:" + Path("moved") + "/"},
      {0x0024, "file:///Z:/"},
  };
  for (const auto& [id, uri] : kCases) EXPECT_EQ(ToUTF8(system->GetSpecialFolder(id)->getText()), uri) << id;
  EXPECT_THROW(system->GetSpecialFolder(0x7777), CInvalidArgError);
}

TEST_F(System, ItemIDListsNameThePathsTheyWereMadeFrom) {
  fs::create_directories(Path("a/b"));
  ITEMIDLIST* const list = system->GetItemIDListOfPath(FileUri("a/b"));
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(ToUTF8(system->GetItemIDListPath(list)->getText()), "file:///Z:" + Path("a/b"));
  // The parent's list and the last item make the whole again.
  ITEMIDLIST* const copy = system->CopyItemIDList(list);
  ITEMIDLIST* const last = system->GetLastItemID(copy);
  ITEMIDLIST* const tail = system->CopyItemIDList(last);
  EXPECT_EQ(system->GetItemIDCount(tail), 1);
  last->mkid.cb = 0;
  EXPECT_EQ(ToUTF8(system->GetItemIDListPath(copy)->getText()), "file:///Z:" + Path("a"));
  ITEMIDLIST* const whole = system->CombineItemIDLists(copy, tail);
  EXPECT_EQ(system->GetItemIDListSize(whole), system->GetItemIDListSize(list));
  EXPECT_EQ(ToUTF8(system->GetItemIDListPath(whole)->getText()), "file:///Z:" + Path("a/b"));
  EXPECT_EQ(system->GetNextItemID(system->GetLastItemID(whole))->mkid.cb, 0);
  for (ITEMIDLIST* l : {list, copy, tail, whole}) system->FreeItemIDList(l);
  // The desktop's list is empty; paths elsewhere name no item.
  ITEMIDLIST* const desktop = system->GetSpecialFolderItemIDList(0x0000);
  EXPECT_EQ(system->GetItemIDCount(desktop), 0);
  system->FreeItemIDList(desktop);
  for (const char* elsewhere : {"file:///C:/x", "http://host/x"})
    EXPECT_EQ(system->GetItemIDListOfPath(Uri(elsewhere)), nullptr) << elsewhere;
  EXPECT_NE(system->GetShellDesktopFolder(), nullptr);
}

TEST_F(System, ShellOpensTheUriTextThroughTheDesktopOpener) {
  Write("xdg-open", "#!/bin/sh\nprintf '%s' \"$1\" > " + Path("opened.tmp") + " && mv " + Path("opened.tmp") + " " +
                        Path("opened") + "\n");
  fs::permissions(Path("xdg-open"), fs::perms::owner_all);
  SetEnv("PATH", folder().path() + ":/usr/bin:/bin");
  system->OpenInShell(Uri("https://example.org/a b"));
  testing_support::WaitForFile(Path("opened"), std::chrono::seconds(5));
  EXPECT_EQ(ReadFile(Path("opened")), "https://example.org/a b");
  // The opener is reaped when it ends: no child is left, not even a zombie.
  const std::string children = "/proc/self/task/" + std::to_string(getpid()) + "/children";
  for (int i = 0; i < 500 && !ReadFile(children).empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(ReadFile(children), "");
  SetEnv("PATH", Path("none"));
  EXPECT_THROW(system->OpenInShell(Uri("https://example.org/")), CFileNotFoundError);
}

TEST_F(System, FiguresComeFromTheRunningSystem) {
  const std::string user = ToUTF8(system->GetUserName());
  EXPECT_NE(user.find('\\'), std::string::npos) << user;
  EXPECT_FALSE(user.ends_with('\\')) << user;
  EXPECT_EQ(system->GetDllVersion("nosuchlibrary.dll"), 0u);
  // No library tells its version here: 0, which is at least 0.0 only.
  EXPECT_FALSE(system->IsShell32Version(0, 1));
  EXPECT_TRUE(system->IsShell32Version(0, 0) && system->IsShlwapiVersion(0, 0) && system->IsComctl32Version(0, 0));
  EXPECT_EQ(system->GetProcessId(), static_cast<std::uint32_t>(getpid()));
  EXPECT_GT(system->GetMemoryStatus().totalPhysical, system->GetMemoryStatus().availablePhysical / 2);
  EXPECT_GT(system->GetSystemInfo().processorCount, 0u);
}

}  // namespace
}  // namespace lumo
