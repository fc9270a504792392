// The system object: subsystems, paths, files and folders, the trash,
// unique names and the system's name and version tests.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "compat/win32/Registry.h"
#include "foundation/CURI.h"
#include "foundation/Exception.h"
#include "platform/win32/System.h"
#include "tests/foundation/FoundationTestSupport.h"
#include "tests/support/IsolatedTest.h"
#include "tests/support/Registry.h"

namespace lumo {
namespace {

namespace fs = std::filesystem;

P<IURI> Uri(const std::string& text) { return make<CURI>(String(text.c_str())); }

template <class Error>
std::string TextOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& error) {
    return ToUTF8(error.getDescription());
  }
  return "<nothing raised>";
}

class System : public testing_support::IsolatedTest {
 protected:
  System() { SetEnv("XDG_DATA_HOME", folder() / "data"); }

  std::string Path(const std::string& name) const { return folder() / name; }
  P<IURI> FileUri(const std::string& name) const { return Uri("file:///Z:" + Path(name)); }
  // How the system shows the path to users.
  std::string Shown(const std::string& name) const {
    std::string path = "Z:" + Path(name);
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
  }
  void Write(const std::string& name, const std::string& content = "x") const {
    std::ofstream(Path(name)) << content;
  }
  std::string Read(const std::string& path) const {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  P<win32::CSystem> system = make<win32::CSystem>(make<CMersenneTwisterRandomNumberGenerator>(7u));
};

TEST_F(System, SubsystemsAreFoundInRegistrationOrderAndUnregisteredOnce) {
  const P<IBase> first = Uri("first");
  const P<IBase> second = Uri("second");
  system->RegisterSubSystem("IDevices", first);
  system->RegisterSubSystem("IDevices", second);
  system->RegisterSubSystem("IDevices", first);
  EXPECT_EQ(system->GetSubSystem("IDevices").get(), first.get());
  EXPECT_EQ(system->GetSubSystems("IDevices")->getCount(), 3);
  EXPECT_EQ(system->FindSubSystem("ISomethingElse").get(), nullptr);

  EXPECT_TRUE(system->UnregisterSubSystem("IDevices", first));
  EXPECT_EQ(system->GetSubSystem("IDevices").get(), second.get());
  EXPECT_FALSE(system->UnregisterSubSystem("IOther", second));
  EXPECT_TRUE(system->UnregisterSubSystem("IDevices", second));
  EXPECT_TRUE(system->UnregisterSubSystem("IDevices", first));
  EXPECT_FALSE(system->UnregisterSubSystem("IDevices", first));
  EXPECT_EQ(system->GetSubSystems("IDevices")->getCount(), 0);
  EXPECT_EQ(TextOf<CNoSuchObjectError>([&] { system->GetSubSystem("IDevices"); }),
            "No sub system of type IDevices was found.");
}

TEST_F(System, WindowsPathsBecomeFileUris) {
  const struct {
    const char* path;
    const char* uri;
  } kCases[] = {
      {"C:\\a\\b.txt", "file:///C:/a/b.txt"},
      {"\\\\?\\C:\\a", "file:///C:/a"},
      {"\\\\server\\share\\x", "file://server/share/x"},
      {"\\\\?\\UNC\\server\\share", "file://server/share"},
      {"\\\\server", "file://server"},
      {"a\\b", "a/b"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(ToUTF8(system->FromWindowsPath(c.path)->getText()), c.uri) << c.path;
  }
  // Back again, as far as the Windows form goes.
  EXPECT_EQ(ToUTF8(system->ToWindowsPath(system->FromWindowsPath("\\\\host\\s\\x"), false)), "\\\\host\\s\\x");
}

TEST_F(System, FilesAndFoldersAreToldApart) {
  Write("f", "12345");
  fs::create_directory(Path("d"));
  EXPECT_TRUE(system->FileExists(FileUri("f")));
  EXPECT_FALSE(system->FileExists(FileUri("d")));
  EXPECT_FALSE(system->FileExists(FileUri("missing")));
  EXPECT_FALSE(system->FileExists(Uri("http://host/f")));
  EXPECT_TRUE(system->FolderExists(FileUri("d")));
  EXPECT_TRUE(system->FolderExists(FileUri("d/")));
  EXPECT_TRUE(system->FolderExists(Uri("file:///Z:")));
  EXPECT_TRUE(system->FolderExists(system->FromWindowsPath("\\\\?\\Z:\\")));
  EXPECT_FALSE(system->FolderExists(FileUri("f")));
  // Long enough for the "\\?\" form.
  const std::string deep = "d/" + std::string(240, 'n');
  fs::create_directory(Path(deep));
  EXPECT_TRUE(system->FolderExists(FileUri(deep)));
  EXPECT_TRUE(system->FolderExists(FileUri(deep + "/")));
  EXPECT_FALSE(system->FolderExists(FileUri("missing")));
  EXPECT_EQ(system->GetFileSize(FileUri("f")), 5u);
  EXPECT_THROW(system->GetFileSize(FileUri("missing")), CFileNotFoundError);
}

TEST_F(System, CreateFolderMakesEveryLevelAndFailsOnExistingOnlyWhenAsked) {
  system->CreateFolder(FileUri("a/b/c"), true);
  EXPECT_TRUE(fs::is_directory(Path("a/b/c")));
  system->CreateFolder(FileUri("a/b/c"), false);
  EXPECT_EQ(TextOf<CError>([&] { system->CreateFolder(FileUri("a/b"), true); }),
            "Error creating the folder 'file:///Z:" + Path("a/b") +
                "' (Cannot create a file when that file already exists.).");
}

TEST_F(System, DeletingPutsTheItemInTheTrashWithItsRecord) {
  Write("doc.txt", "keep me");
  fs::create_directories(Path("tree/inner"));
  EXPECT_TRUE(system->DeleteFile(FileUri("doc.txt")));
  EXPECT_TRUE(system->DeleteFolder(FileUri("tree")));
  EXPECT_FALSE(fs::exists(Path("doc.txt")));
  EXPECT_FALSE(fs::exists(Path("tree")));
  const std::string trash = Path("data/Trash");
  EXPECT_EQ(Read(trash + "/files/doc.txt"), "keep me");
  EXPECT_TRUE(fs::is_directory(trash + "/files/tree/inner"));
  const std::string info = Read(trash + "/info/doc.txt.trashinfo");
  EXPECT_EQ(info.rfind("[Trash Info]\nPath=" + Path("doc.txt") + "\nDeletionDate=", 0), 0u) << info;

  // A second item of the same name gets a name of its own in the trash.
  Write("doc.txt", "second");
  EXPECT_TRUE(system->DeleteFile(FileUri("doc.txt")));
  EXPECT_EQ(Read(trash + "/files/doc.txt"), "keep me");
  EXPECT_EQ(Read(trash + "/files/doc.txt.2"), "second");
  EXPECT_TRUE(fs::exists(trash + "/info/doc.txt.2.trashinfo"));

  // Gone already: false and nothing raised.
  EXPECT_FALSE(system->DeleteFile(FileUri("doc.txt")));
  EXPECT_FALSE(system->DeleteFolder(FileUri("tree")));
}

TEST_F(System, DeletingTheWrongKindOfItemLeavesItAlone) {
  Write("f");
  fs::create_directory(Path("d"));
  EXPECT_EQ(TextOf<CError>([&] { system->DeleteFile(FileUri("d")); }),
            "Error deleting the file '" + Shown("d") + "' (not a file).");
  EXPECT_EQ(TextOf<CError>([&] { system->DeleteFolder(FileUri("f")); }),
            "Error deleting the folder '" + Shown("f") + "' (not a folder).");
  EXPECT_TRUE(fs::is_directory(Path("d")));
  EXPECT_TRUE(fs::is_regular_file(Path("f")));
}

TEST_F(System, MovesAndCopiesReplaceOnlyWithOverwrite) {
  Write("a", "A");
  Write("b", "B");
  const std::string failed = "Error moving file '" + Shown("a") + "' to '" + Shown("b") + "'.";
  EXPECT_EQ(TextOf<CFileError>([&] { system->CopyFile(FileUri("a"), FileUri("b"), false); }), failed);
  EXPECT_EQ(TextOf<CFileError>([&] { system->MoveFile(FileUri("a"), FileUri("b"), false); }), failed);
  EXPECT_EQ(Read(Path("b")), "B");
  system->CopyFile(FileUri("a"), FileUri("c"), false);
  system->CopyFile(FileUri("a"), FileUri("b"), true);
  EXPECT_EQ(Read(Path("b")), "A");
  Write("c", "C");
  system->MoveFile(FileUri("c"), FileUri("b"), true);
  EXPECT_EQ(Read(Path("b")), "C");
  EXPECT_FALSE(fs::exists(Path("c")));
  // The replaced file went to the trash.
  EXPECT_EQ(Read(Path("data/Trash/files/b")), "A");
  EXPECT_EQ(TextOf<CFileError>([&] { system->CopyFile(FileUri("missing"), FileUri("x"), true); }),
            "Error moving file '" + Shown("missing") + "' to '" + Shown("x") + "'.");
  EXPECT_THROW(system->MoveFile(Uri("http://h/a"), FileUri("x"), true), CInvalidArgError);
  // A drive that maps to nothing here.
  EXPECT_THROW(system->MoveFile(FileUri("a"), Uri("file:///C:/a"), true), CFileError);

  fs::create_directories(Path("from/inner"));
  fs::create_directory(Path("to"));
  EXPECT_EQ(TextOf<CFileError>([&] { system->MoveFolder(FileUri("from"), FileUri("to"), false); }),
            "Error moving folder '" + Shown("from") + "' to '" + Shown("to") + "'.");
  system->MoveFolder(FileUri("from"), FileUri("to"), true);
  EXPECT_TRUE(fs::is_directory(Path("to/inner")));
  EXPECT_THROW(system->MoveFolder(FileUri("b"), FileUri("e"), false), CFileError);
}

TEST_F(System, UniqueNamesAreNewAndStepPastTakenOnes) {
  const P<IURI> folder = FileUri("");
  const P<IURI> file = system->CreateUniqueFile(folder, "pre", ".tmp");
  const P<IURI> sub = system->CreateUniqueFolder(folder, "dir", "");
  const std::string fileName = ToUTF8(file->getFileName());
  EXPECT_EQ(fileName.size(), 3u + 8 + 4);
  EXPECT_EQ(fileName.find_first_not_of("0123456789ABCDEF", 3), 11u) << fileName;
  EXPECT_TRUE(fs::is_regular_file(Path(fileName)));
  EXPECT_TRUE(ToUTF8(sub->getText()).ends_with("/"));
  EXPECT_TRUE(system->FolderExists(sub));

  // A generator that repeats the first one's numbers meets the taken name
  // first and takes the next.
  const auto twin = make<win32::CSystem>(make<CMersenneTwisterRandomNumberGenerator>(7u));
  const P<IURI> other = twin->CreateUniqueFile(folder, "pre", ".tmp");
  EXPECT_NE(ToUTF8(other->getText()), ToUTF8(file->getText()));
  EXPECT_TRUE(twin->FileExists(other));

  // Every attempt fails in a missing folder: the last failure is raised.
  EXPECT_THROW(system->CreateUniqueFile(FileUri("missing/"), "x", ""), CFileNotFoundError);
}

TEST_F(System, TempAndCurrentFoldersAreFolderUris) {
  SetEnv("TMPDIR", folder().path());
  const P<IURI> temp = system->GetTempFolder();
  EXPECT_EQ(ToUTF8(temp->getText()), "file:///Z:" + folder().path() + "/");
  EXPECT_TRUE(system->FileExists(system->CreateTempFile("t", "")));
  EXPECT_TRUE(system->FolderExists(system->CreateTempFolder("t", "")));
  EXPECT_TRUE(system->FolderExists(system->GetCurrentFolder()));
  EXPECT_TRUE(ToUTF8(system->GetCurrentFolder()->getText()).ends_with("/"));
}

TEST_F(System, OSNameAndVersionTestsFollowTheEmulatedVersion) {
  const struct {
    const char16_t* version;
    const char* name;
    bool nt, win98, winME, win2000, winXP, vista;
  } kCases[] = {
      {u"win95", "Windows 95", false, false, false, false, false, false},
      {u"win98", "Windows 98", false, true, false, false, false, false},
      {u"winme", "Windows ME", false, true, true, false, false, false},
      {u"nt40", "Windows NT 4.0", true, false, false, false, false, false},
      {u"win2k", "Windows 2000", true, true, true, true, false, false},
      {u"winxp", "Windows XP", true, true, true, true, true, false},
      {u"win2003", "Windows 2003 Server", true, true, true, true, true, false},
      {u"vista", "Windows NT 6.0", true, true, true, true, true, true},
      {u"win10", "Windows NT 10.0", true, true, true, true, true, true},
  };
  for (const auto& c : kCases) {
    testing_support::SetRegString(HKEY_LOCAL_MACHINE, u"Software\\Win32Compat", u"Version", c.version);
    EXPECT_TRUE(ToUTF8(system->GetOSName()).starts_with(c.name)) << c.name;
    const bool flags[] = {system->IsNT(),           system->IsWin98OrLater(), system->IsWinMEOrLater(),
                          system->IsWin2000OrLater(), system->IsWinXPOrLater(), system->IsVistaOrLater()};
    const bool want[] = {c.nt, c.win98, c.winME, c.win2000, c.winXP, c.vista};
    for (std::size_t i = 0; i < std::size(want); ++i) EXPECT_EQ(flags[i], want[i]) << c.name << " test " << i;
  }
}

TEST_F(System, ShellFoldersComeFromTheRegistryElseFromTheDesktopsUserFolders) {
  testing_support::SetRegString(HKEY_CURRENT_USER, u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                                u"Personal", u"C:\\Docs");
  SetEnv("HOME", folder().path());
  SetEnv("XDG_CONFIG_HOME", Path("cfg"));
  UnsetEnv("XDG_DATA_HOME");
  fs::create_directory(Path("cfg"));
  std::ofstream(Path("cfg/user-dirs.dirs")) << "# written by the desktop\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n";
  const struct {
    std::int32_t id;
    std::string uri;
  } kCases[] = {
      {0x0005, "file:///C:/Docs/"},
      {0x0000, "file:///Z:" + Path("Schreibtisch") + "/"},
      {0x001a, "file:///Z:" + Path("cfg") + "/"},
      {0x001c, "file:///Z:" + Path(".local/share") + "/"},
      {0x0024, "file:///Z:/"},
  };
  for (const auto& c : kCases) EXPECT_EQ(ToUTF8(system->GetSpecialFolder(c.id)->getText()), c.uri) << c.id;
  EXPECT_THROW(system->GetSpecialFolder(0x7777), CInvalidArgError);
}

TEST_F(System, ShellOpensTheUriTextThroughTheDesktopOpener) {
  const std::string opener = Path("xdg-open");
  std::ofstream(opener) << "#!/bin/sh\nprintf '%s' \"$1\" > " + Path("opened.tmp") + " && mv " + Path("opened.tmp") + " " +
                               Path("opened") + "\n";
  fs::permissions(opener, fs::perms::owner_all);
  SetEnv("PATH", folder().path() + ":/usr/bin:/bin");
  system->OpenInShell(Uri("https://example.org/a b"));
  for (int i = 0; i < 500 && !fs::exists(Path("opened")); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(Read(Path("opened")), "https://example.org/a b");
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
  EXPECT_EQ(GetSystem().get(), GetSystem().get());
  EXPECT_EQ(system->GetWin32System().get(), static_cast<win32::IWin32System*>(system.get()));
}

}  // namespace
}  // namespace lumo
