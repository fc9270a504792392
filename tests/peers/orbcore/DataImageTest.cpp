// Data disc tasks written to image files and read back with xorriso: names
// under Rock Ridge and Joliet, contents, modes and times; and every way a run
// can fail leaves the target as it was.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "compat/win32/Path.h"

namespace {

using namespace engine_test;
namespace fs = std::filesystem;

// A data disc list as the shell hands it over, its texts kept alive.
struct DataList {
  std::vector<std::u16string> paths, targets;
  std::vector<DataDiscItem> items;
  DataDiscListInput input{};

  void Add(const std::string& posixPath, const std::u16string& target = u"\\") {
    const bool folder = fs::is_directory(posixPath);
    paths.push_back(compat::win32::WindowsPath(posixPath) + (folder ? u"\\*.*" : u""));
    targets.push_back(target);
  }
  void Attach(LaunchRecord& record) {
    items.clear();
    for (std::size_t i = 0; i < paths.size(); ++i) {
      const bool folder = paths[i].ends_with(u"\\*.*");
      items.push_back({folder ? kDataItemFolder : kDataItemFile, paths[i].c_str(), targets[i].c_str()});
    }
    input = DataDiscListInput{0, 0, static_cast<std::uint32_t>(items.size()), items.data()};
    record.taskCode = kTaskDataDisc;
    record.startMode = kStartDataDiscList;
    record.taskInput = &input;
  }
};

struct ChildRun {
  int status = -1;  // the engine's verdict: 1 success, 0 failure
  std::string err;
};

class DataImageTest : public EngineTest {
 protected:
  void MakeFile(const std::string& path, const std::string& bytes, mode_t mode, std::time_t mtime) {
    fs::create_directories(fs::path(path).parent_path());
    testing_support::WriteFile(path, bytes);
    chmod(path.c_str(), mode);
    const timespec times[2] = {{mtime, 0}, {mtime, 0}};
    utimensat(AT_FDCWD, path.c_str(), times, 0);
  }

  // The engine run in a child process, so a signal or a file size limit
  // reaches it alone; `prepare` runs in the child first, `watch` in the parent.
  template <typename Prepare, typename Watch>
  ChildRun RunInChild(DataList& list, Prepare prepare, Watch watch) {
    const std::string errPath = folder() / "stderr.txt";
    const pid_t pid = fork();
    if (pid == 0) {
      freopen(errPath.c_str(), "w", stderr);
      prepare();
      ShellRecord shell;
      list.Attach(shell.record);
      if (!pack_.empty()) shell.record.languagePackPath = pack_.c_str();
      void* results = Start(shell.record);
      _exit(results != nullptr ? static_cast<int>(*static_cast<std::uint32_t*>(results)) : 2);
    }
    watch(pid);
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, testing_support::ReadFile(errPath)};
  }

  ChildRun RunInChild(DataList& list) {
    return RunInChild(list, [] {}, [](pid_t) {});
  }

  // What xorriso lists in the image: "mode size path" lines, or with
  // `joliet` the names of the Joliet tree.
  std::string Listing(const std::string& image, bool joliet) {
    return Xorriso({"-read_fs", joliet ? "norock" : "any", "-indev", image, "-find", "/", "-exec",
                    joliet ? "echo" : "lsdl"});
  }

  static std::string Xorriso(std::vector<std::string> args) {
    const testing_support::ProcessResult result = testing_support::Run({XORRISO_PROGRAM, args, {}, {}});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return result.out;
  }

  // Each of `parts` somewhere in `text`.
  static void ExpectHolds(const std::string& text, std::initializer_list<std::string> parts) {
    for (const std::string& part : parts) EXPECT_NE(text.find(part), std::string::npos) << part << "\nin\n" << text;
  }

  // The image's files extracted into a folder of their own.
  std::string Extract() {
    const std::string extracted = folder() / "extracted";
    Xorriso({"-osirrox", "on", "-indev", image_, "-extract", "/", extracted});
    return extracted;
  }

  // The files left in the target's folder, hidden ones too.
  std::vector<std::string> FolderNames(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string source_ = folder() / "source";
  std::string out_ = folder() / "out";
  std::string image_ = out_ + "/disc.iso";
  std::u16string pack_;  // the language pack the shell hands over; none when empty
};

TEST_F(DataImageTest, ImageReadsBackWithNamesContentsModesAndTimes) {
  const std::string photos = source_ + "/fotos \u00e9t\u00e9";
  MakeFile(photos + "/a.txt", "hello\n", 0644, 1577934245);
  MakeFile(photos + "/tief/\u65e5\u672c\u8a9e.bin", std::string(70000, '\x5a'), 0600, 1262304000);
  MakeFile(source_ + "/notes \u0391\u03b2.txt", "notes", 0755, 946684800);
  fs::create_directories(out_);
  DataList list;
  list.Add(photos);
  list.Add(source_ + "/notes \u0391\u03b2.txt", u"\\docs\\old");
  ShellRecord shell;
  list.Attach(shell.record);
  SetEnv("ORBCORE_TARGET", image_);
  void* results = Start(shell.record);
  ASSERT_NE(results, nullptr);
  EXPECT_EQ(*static_cast<std::uint32_t*>(results), 1u);
  free_(results);

  // Rock Ridge: every name, mode and time as on disk; the folder under its
  // own name, the file in its disc folder.
  ExpectHolds(Listing(image_, false),
              {"-rw-r--r--    1 0        0               6 Jan  2  2020 '/fotos \u00e9t\u00e9/a.txt'",
               "-rw-------    1 0        0           70000 Jan  1  2010 '/fotos \u00e9t\u00e9/tief/\u65e5\u672c\u8a9e.bin'",
               "-rwxr-xr-x    1 0        0               5 Jan  1  2000 '/docs/old/notes \u0391\u03b2.txt'"});
  // Joliet: the same Unicode names.
  ExpectHolds(Listing(image_, true),
              {"'/fotos \u00e9t\u00e9/tief/\u65e5\u672c\u8a9e.bin'", "'/docs/old/notes \u0391\u03b2.txt'"});
  // Contents, byte for byte, extracted.
  const std::string extracted = Extract();
  EXPECT_EQ(testing_support::ReadFile(extracted + "/fotos \u00e9t\u00e9/tief/\u65e5\u672c\u8a9e.bin"),
            std::string(70000, '\x5a'));
  EXPECT_EQ(testing_support::ReadFile(extracted + "/docs/old/notes \u0391\u03b2.txt"), "notes");
  EXPECT_EQ(FolderNames(out_), std::vector<std::string>{"disc.iso"});
}

// The real program with its drive library and engine in one process, as a
// user starts it: the list file's items end up in the image.
TEST_F(DataImageTest, ProgramWritesTheListToTheImage) {
  MakeFile(source_ + "/caf\u00e9.txt", "coffee", 0644, 1577934245);
  fs::create_directories(out_);
  const std::string list = folder() / "list.txt";
  std::u16string text = compat::win32::WindowsPath(source_ + "/caf\u00e9.txt") + u"\r\n";
  testing_support::WriteFile(list, testing_support::Utf16Bytes(text, false, true));
  const testing_support::ProcessResult result =
      testing_support::Run({.program = testing_support::BuildBin() + "/orbweave",
                            .args = {"-datacd", list},
                            .env = {{"ORBCORE_TARGET", image_}},
                            .unsetEnv = {"DISPLAY", "WAYLAND_DISPLAY", "ORBCORE_SCRIPT", "ORBCORE_DUMP"}});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(Listing(image_, false).find("'/caf\u00e9.txt'"), std::string::npos) << result.err;
}

// An image target that holds an earlier image gets a further session that
// keeps the first one's files; a failed session leaves it as it was, and
// ORBCORE_NEW_DISC=1 starts it anew.
TEST_F(DataImageTest, EarlierImageGetsAFurtherSession) {
  MakeFile(source_ + "/first.txt", "first", 0644, 1577934245);
  MakeFile(source_ + "/second/\u00e9.txt", "second", 0600, 1262304000);
  MakeFile(source_ + "/third.txt", "third", 0644, 1262304000);
  fs::create_directories(out_);
  SetEnv("ORBCORE_TARGET", image_);
  const auto write = [&](const std::vector<std::string>& items) {
    DataList list;
    for (const std::string& item : items) list.Add(source_ + "/" + item);
    return RunInChild(list);
  };
  ASSERT_EQ(write({"first.txt"}).status, 1);
  const ChildRun second = write({"second"});
  ASSERT_EQ(second.status, 1) << second.err;
  ExpectHolds(Listing(image_, false), {"-rw-r--r--    1 0        0               5 Jan  2  2020 '/first.txt'",
                                       "-rw-------    1 0        0               6 Jan  1  2010 '/second/\u00e9.txt'"});
  const std::string extracted = Extract();
  EXPECT_EQ(testing_support::ReadFile(extracted + "/first.txt"), "first");
  EXPECT_EQ(testing_support::ReadFile(extracted + "/second/\u00e9.txt"), "second");

  const std::string before = testing_support::ReadFile(image_);
  EXPECT_EQ(write({"third.txt", "gone.txt"}).status, 0);
  EXPECT_TRUE(testing_support::ReadFile(image_) == before);
  SetEnv("ORBCORE_NEW_DISC", "1");
  ASSERT_EQ(write({"third.txt"}).status, 1);
  const std::string anew = Listing(image_, false);
  EXPECT_EQ(anew.find("first.txt"), std::string::npos) << anew;
  ExpectHolds(anew, {"'/third.txt'"});
  EXPECT_EQ(FolderNames(out_), std::vector<std::string>{"disc.iso"});
}

// Each failure: the engine says so, with the message the user reads, and
// whatever was at the target is as it was, with no temporary left beside it.
TEST_F(DataImageTest, FailuresLeaveTheTargetAsItWas) {
  MakeFile(source_ + "/a.txt", "a", 0644, 1577934245);
  MakeFile(source_ + "/b/a.txt", "b", 0644, 1577934245);
  struct Row {
    const char* what;
    std::vector<std::string> items;  // below source_
    const char* target;              // below out_, "" for none
    const char* message;
  };
  const Row rows[] = {
      {"a listed file is gone", {"a.txt", "gone.txt"}, "disc.iso", "is gone or cannot be read"},
      {"two items with one name", {"a.txt", "b/a.txt"}, "disc.iso", "has the same name on the disc"},
      {"the target is a folder", {"a.txt"}, "folder", "is not a file"},
      {"the target is a named pipe", {"a.txt"}, "pipe", "is not a file"},
      {"no drive and no target", {"a.txt"}, "", "No disc drive was found"},
      {"an empty list", {}, "disc.iso", "nothing to write"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    fs::remove_all(out_);
    fs::create_directories(out_ + "/folder");
    mkfifo((out_ + "/pipe").c_str(), 0644);
    testing_support::WriteFile(image_, "an older image");
    DataList list;
    for (const std::string& item : row.items) list.Add(source_ + "/" + item);
    if (*row.target != '\0') {
      SetEnv("ORBCORE_TARGET", out_ + "/" + row.target);
    } else {
      UnsetEnv("ORBCORE_TARGET");
    }
    const ChildRun run = RunInChild(list);
    EXPECT_EQ(run.status, 0) << run.err;
    ExpectHolds(run.err, {row.message});
    EXPECT_EQ(FolderNames(out_), (std::vector<std::string>{"disc.iso", "folder", "pipe"}));
    EXPECT_EQ(testing_support::ReadFile(image_), "an older image");
  }
}

// A cancel half-way and a target disk that fills up: nothing at the target
// looks like an image, and the user reads why.
TEST_F(DataImageTest, CancelAndFullDiskLeaveNoImage) {
  const std::string big = source_ + "/big.bin";
  fs::create_directories(source_);
  {
    std::ofstream file(big, std::ios::binary);
    file.seekp((std::streamoff{1} << 31) - 1);  // 2 GiB of holes, read fast but written slowly
    file.put('\0');
  }
  fs::create_directories(out_);
  SetEnv("ORBCORE_TARGET", image_);
  DataList list;
  list.Add(big);

  // Terminated once a part of the image is on disk.
  const ChildRun cancelled = RunInChild(list, [] {}, [&](pid_t pid) {
    for (int i = 0; i < 3000; ++i) {
      bool started = false;
      for (const auto& entry : fs::directory_iterator(out_)) started = started || entry.file_size() > (8 << 20);
      if (started) break;
      usleep(10000);
    }
    kill(pid, SIGTERM);
  });
  EXPECT_EQ(cancelled.status, 0) << cancelled.err;
  ExpectHolds(cancelled.err, {"Writing: ", "Cancelled"});
  EXPECT_TRUE(FolderNames(out_).empty());

  // A file size limit stands for a full disk.
  const ChildRun full = RunInChild(list, [] {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4 << 20, 4 << 20};
    setrlimit(RLIMIT_FSIZE, &limit);
  }, [](pid_t) {});
  EXPECT_EQ(full.status, 0) << full.err;
  ExpectHolds(full.err, {"is full"});
  EXPECT_TRUE(FolderNames(out_).empty());
}

// An engine whose disc module is not beside it fails the task, naming the
// module, in the user's language.
TEST_F(DataImageTest, MissingDiscModuleFailsInTheUsersLanguage) {
  const std::string engine = folder() / "engine";
  fs::create_directories(engine);
  fs::copy_file(testing_support::BuildBin() + "/liborbcore.so", engine + "/liborbcore.so");
  // The engine names the Win32 stand-in beside itself; this one is the process's own.
  fs::create_symlink(testing_support::BuildBin() + "/libcompat_win32.so", engine + "/libcompat_win32.so");
  dlclose(module_);
  module_ = dlopen((engine + "/liborbcore.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module_, nullptr) << dlerror();
  start_ = reinterpret_cast<StartIgnisProc>(dlsym(module_, "StartIgnis"));
  ASSERT_NE(start_, nullptr);
  MakeFile(source_ + "/a.txt", "a", 0644, 1577934245);
  fs::create_directories(out_);
  SetEnv("ORBCORE_TARGET", image_);
  pack_ = compat::win32::WindowsPath(testing_support::BuildBin() + "/lang/Orbweave_de.kvnLang");
  DataList list;
  list.Add(source_ + "/a.txt");
  const ChildRun run = RunInChild(list);
  EXPECT_EQ(run.status, 0) << run.err;
  ExpectHolds(run.err, {"Der Teil der Engine, der Discs schreibt und liest (\xe2\x80\x9eliborbcore_disc.so\xe2\x80\x9c)"});
  EXPECT_TRUE(FolderNames(out_).empty());
}

}  // namespace
