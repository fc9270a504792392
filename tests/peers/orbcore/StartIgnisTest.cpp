// The engine as the shell uses it: liborbcore.so loaded from the program
// folder, StartIgnis called with a filled launch record, and what the engine
// received read back from its dump file.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>
#include <vector>

#include "compat/win32/Menu.h"
#include "compat/win32/Registry.h"
#include "peers/orbcore/IgnisLaunch.h"
#include "tests/support/Json.h"
#include "tests/support/Registry.h"
#include "tests/support/TestSupport.h"

namespace {

// What the shell's callbacks saw, in order.
struct CallbackLog {
  std::vector<std::string> calls;
  HWND windowDuringBuild = nullptr;
  bool dumpSeenDuringBuild = false;
  bool resultInEntryDump = true;
  std::string dumpPath;
  GetOWMainWindowProc mainWindow = nullptr;
};

CallbackLog& Log() {
  static CallbackLog log;
  return log;
}

// The shell's way: append to the second menu, insert a pop-up at 2.
void WINAPI BuildMenu(HMENU bar) {
  CallbackLog& log = Log();
  log.calls.push_back("build");
  log.windowDuringBuild = log.mainWindow();
  if (testing_support::FileExists(log.dumpPath)) {
    log.dumpSeenDuringBuild = true;
    log.resultInEntryDump = Json::ParseFile(log.dumpPath).Has("result");
  }
  AppendMenuW(GetSubMenu(bar, 1), MF_STRING, 2000, u"Languages...");
  HMENU internet = CreatePopupMenu();
  AppendMenuW(internet, MF_STRING, 2002, u"Recommend Program to a Friend");
  AppendMenuW(internet, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(internet, MF_STRING, 1040, u"&Send Problem Report to Korvane...");
  InsertMenuW(bar, 2, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(internet), u"Internet");
}

std::uint32_t WINAPI MenuCommand(std::uint32_t command, std::uint32_t unused) {
  Log().calls.push_back("command " + std::to_string(command) + " " + std::to_string(unused));
  return command == 107 ? 7 : 0;
}

void WINAPI Idle(std::uint32_t) { Log().calls.push_back("idle"); }

// A record as the shell fills it, with every text kept alive beside it.
// Texts are UTF-16 here; AnsiTexts switches the record's texts to the code page.
struct ShellRecord {
  std::u16string key = u"SOFTWARE\\korvane\\Korvane Orbweave 9";
  std::u16string language = u"Deutsch";
  std::u16string name = u"Korvane Orbweave 9 \u00c4ra";
  std::u16string about = u"<about><p><b>%APPNAME%,version %APPVER%</b></p></about>";
  std::u16string version = u"9.12";
  std::u16string fullVersion = u"9.12.0.194 (2210)";
  std::u16string email = u"support@example.com";
  std::u16string helpFile = u"Z:\\opt\\orbweave\\lang\\deutsch.chm";
  std::u16string topic0 = helpFile + u"::/proginf.htm";
  std::u16string topic1 = helpFile + u"::/Whatwouldyouliketodo.htm";
  std::u16string quote = u"say \"hi\"\t\\ \U0001F4BF";
  HelpTopicEntry entries[2] = {{0, 0, topic0.c_str()}, {0, 600, topic1.c_str()}};
  HelpTopicTable help{kHelpTopicTableTag, 2, entries, 0, helpFile.c_str()};
  LOGFONTW font{};
  LaunchRecord record{};

  ShellRecord() {
    font.lfHeight = -12;
    font.lfWeight = FW_BOLD;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfOutPrecision = OUT_TT_ONLY_PRECIS;
    font.lfQuality = ANTIALIASED_QUALITY;
    font.lfPitchAndFamily = VARIABLE_PITCH;
    std::u16string(u"MS Shell Dlg").copy(font.lfFaceName, LF_FACESIZE);

    record.layoutTag = kLaunchRecordTag;
    record.settingsKey = key.c_str();
    record.registryRoot = 0x80000001;
    record.languageName = language.c_str();
    record.largeIcon = reinterpret_cast<HICON>(0x10);
    record.instance = reinterpret_cast<HINSTANCE>(0x20);
    record.displayName = name.c_str();
    record.aboutMarkup = about.c_str();
    record.menuCommand = MenuCommand;
    record.menuBuild = BuildMenu;
    record.featureMask48 = 0x3FFF0DFF;
    record.taskCode = kTaskDataDisc;
    record.helpTopics = &help;
    record.value76[7] = 104;
    record.reportContentType = quote.c_str();
    record.value120[2] = 128;
    record.color132 = 0xFFFFFF;
    record.version = version.c_str();
    record.value160[1] = 164;
    record.color184 = 0x513E2D;
    record.font = &font;
    record.supportEmail = email.c_str();
    record.idle = Idle;
    record.value236 = 2006;
    record.value260[0] = 260;
    record.shortName = u"Orbweave";
    record.fullVersion = fullVersion.c_str();
    record.appManager = &record;
  }
  ShellRecord(const ShellRecord&) = delete;
  ShellRecord& operator=(const ShellRecord&) = delete;
};

// A scalar of the dump written back as JSON text, so tables can name it.
std::string Text(const Json& value) {
  switch (value.kind()) {
    case Json::Kind::Null: return "null";
    case Json::Kind::Bool: return value.Bool() ? "true" : "false";
    case Json::Kind::Number: return std::to_string(static_cast<long long>(value.Number()));
    case Json::Kind::String: return "\"" + value.String() + "\"";
    default: return "<nested>";
  }
}

class StartIgnisTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("ORBWEAVE_PREFIX", (folder_ / "registry").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", folder_.path().c_str(), 1);
    setenv("ORBCORE_DUMP", dumpPath_.c_str(), 1);
    setenv("ORBCORE_SCRIPT", "", 1);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    module_ = dlopen((testing_support::BuildBin() + "/liborbcore.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module_, nullptr) << dlerror();
    start_ = reinterpret_cast<StartIgnisProc>(dlsym(module_, "StartIgnis"));
    free_ = reinterpret_cast<FreeIgnisResultsProc>(dlsym(module_, "FreeIgnisResults"));
    mainWindow_ = reinterpret_cast<GetOWMainWindowProc>(dlsym(module_, "GetOWMainWindow"));
    ASSERT_TRUE(start_ && free_ && mainWindow_);
    Log() = CallbackLog{};
    Log().dumpPath = dumpPath_;
    Log().mainWindow = mainWindow_;
  }

  void TearDown() override {
    for (const char* name : {"ORBCORE_DUMP", "ORBCORE_SCRIPT", "ORBWEAVE_PREFIX", "XDG_RUNTIME_DIR"}) unsetenv(name);
    if (module_ != nullptr) dlclose(module_);
  }

  // Runs the engine with `script`; the results pointer as it came back.
  void* Start(LaunchRecord& record, const char* script) {
    setenv("ORBCORE_SCRIPT", script, 1);
    void* results = nullptr;
    start_(&record, &results);
    return results;
  }

  Json ReadDump() const { return Json::ParseFile(dumpPath_); }

  testing_support::TempFolder folder_;
  std::string dumpPath_ = folder_ / "dump.json";
  void* module_ = nullptr;
  StartIgnisProc start_ = nullptr;
  FreeIgnisResultsProc free_ = nullptr;
  GetOWMainWindowProc mainWindow_ = nullptr;
};

TEST_F(StartIgnisTest, DumpNamesEveryFieldByItsOffset) {
  ShellRecord shell;
  void* results = Start(shell.record, "");
  free_(results);
  const Json dump = ReadDump();
  const Json& record = dump["record"];
  EXPECT_EQ(dump["textForm"].String(), "wide");

  // 73 slots of 32 bits, each under its offset, arrays one member a slot.
  EXPECT_EQ(record.Size(), 73u);
  for (int offset = 0; offset <= 288; offset += 4) EXPECT_TRUE(record.Has(std::to_string(offset))) << offset;

  const std::pair<const char*, std::string> fields[] = {
      {"0", "22"},
      {"4", "\"SOFTWARE\\korvane\\Korvane Orbweave 9\""},
      {"8", "2147483649"},
      {"12", "\"Deutsch\""},
      {"16", "true"},   // icon set
      {"20", "null"},   // icon not set
      {"24", "true"},
      {"28", "\"Korvane Orbweave 9 \xc3\x84ra\""},
      {"40", "true"},
      {"44", "true"},
      {"48", "1073679871"},
      {"52", "1"},
      {"60", "null"},  // a data disc started normally has no input
      {"72", "null"},
      {"76", "0"},
      {"104", "104"},
      {"116", "\"say \"hi\"\t\\ \xf0\x9f\x92\xbf\""},
      {"128", "128"},
      {"144", "\"9.12\""},
      {"164", "164"},
      {"168", "null"},
      {"184", "5324333"},
      {"220", "\"support@example.com\""},
      {"228", "true"},
      {"232", "null"},
      {"236", "2006"},
      {"260", "260"},
      {"268", "0"},
      {"272", "null"},
      {"280", "\"Orbweave\""},
      {"284", "\"9.12.0.194 (2210)\""},
      {"288", "true"},
  };
  for (const auto& [offset, expected] : fields) EXPECT_EQ(Text(record[offset]), expected) << "offset " << offset;

  const Json& font = record["212"];
  const std::pair<const char*, std::string> fontFields[] = {
      {"0", "-12"}, {"4", "0"}, {"16", "700"}, {"20", "0"}, {"23", "1"},
      {"24", "7"},  {"25", "0"}, {"26", "4"},  {"27", "2"}, {"28", "\"MS Shell Dlg\""},
  };
  for (const auto& [offset, expected] : fontFields) EXPECT_EQ(Text(font[offset]), expected) << "font " << offset;
  EXPECT_EQ(font.Size(), 14u);

  const Json& help = record["64"];
  EXPECT_EQ(help["0"].Number(), 2);
  EXPECT_EQ(help["4"].Number(), 2);
  EXPECT_EQ(help["12"].Number(), 0);
  EXPECT_EQ(help["16"].String(), "Z:\\opt\\orbweave\\lang\\deutsch.chm");
  ASSERT_EQ(help["8"].Size(), 2u);
  EXPECT_EQ(help["8"][1]["4"].Number(), 600);
  EXPECT_EQ(help["8"][1]["8"].String(), "Z:\\opt\\orbweave\\lang\\deutsch.chm::/Whatwouldyouliketodo.htm");
}

TEST_F(StartIgnisTest, TaskInputFollowsTheTaskCode) {
  ShellRecord shell;
  std::u16string track1 = u"Z:\\music\\01 \u00e9t\u00e9.wav", track2 = u"Z:\\music\\02.wav";
  IgnisText tracks[] = {track1.c_str(), track2.c_str()};
  AudioCdListInput audio{0, 2, tracks};
  std::u16string folder = u"Z:\\photos\\*.*", file = u"Z:\\notes.txt";
  DataDiscItem items[] = {{kDataItemFolder, folder.c_str(), u"\\"}, {kDataItemFile, file.c_str(), u"\\"}};
  DataDiscListInput data{0, 0, 2, items};
  std::u16string project = u"Z:\\projects\\b\u00e4r.prj";
  ProjectFileInput open{0, project.c_str()};

  // The audio CD list.
  shell.record.taskCode = kTaskAudioCd;
  shell.record.startMode = kStartWithInput;
  shell.record.taskInput = &audio;
  free_(Start(shell.record, ""));
  Json input = ReadDump()["record"]["60"];
  EXPECT_EQ(input.Size(), 3u);
  EXPECT_EQ(input["4"].Number(), 2);
  EXPECT_EQ(input["8"][0].String(), "Z:\\music\\01 \xc3\xa9t\xc3\xa9.wav");
  EXPECT_EQ(input["8"][1].String(), "Z:\\music\\02.wav");

  // The data disc list: kind, path and the wide target of each item.
  shell.record.taskCode = kTaskDataDisc;
  shell.record.startMode = kStartDataDiscList;
  shell.record.taskInput = &data;
  free_(Start(shell.record, ""));
  input = ReadDump()["record"]["60"];
  EXPECT_EQ(input.Size(), 4u);
  EXPECT_EQ(input["8"].Number(), 2);
  ASSERT_EQ(input["12"].Size(), 2u);
  EXPECT_EQ(input["12"][0]["0"].Number(), 3);
  EXPECT_EQ(input["12"][0]["4"].String(), "Z:\\photos\\*.*");
  EXPECT_EQ(input["12"][0]["8"].String(), "\\");
  EXPECT_EQ(input["12"][1]["0"].Number(), 0);

  // The project file.
  shell.record.taskCode = kTaskOpenProject;
  shell.record.startMode = kStartWithInput;
  shell.record.taskInput = &open;
  free_(Start(shell.record, ""));
  input = ReadDump()["record"]["60"];
  EXPECT_EQ(input["0"].Number(), 0);
  EXPECT_EQ(input["4"].String(), "Z:\\projects\\b\xc3\xa4r.prj");
}

TEST_F(StartIgnisTest, ScriptCallsTheShellInOrderAndRecordsTheSteps) {
  ShellRecord shell;
  void* results = Start(shell.record, "build, command:2000,idle,command:107,wait:5,result:failure");
  EXPECT_EQ(Log().calls,
            (std::vector<std::string>{"build", "command 2000 0", "idle", "command 107 0"}));
  // The dump at entry already existed while the engine ran, without a result.
  EXPECT_TRUE(Log().dumpSeenDuringBuild);
  EXPECT_FALSE(Log().resultInEntryDump);
  EXPECT_NE(Log().windowDuringBuild, nullptr);
  EXPECT_EQ(mainWindow_(), nullptr);

  Json dump = ReadDump();
  EXPECT_EQ(dump["result"].String(), "failure");
  EXPECT_EQ(dump["freeCalls"].Number(), 0);
  const Json& steps = dump["steps"];
  ASSERT_EQ(steps.Size(), 6u);
  const char* names[] = {"build", "command:2000", "idle", "command:107", "wait:5", "result:failure"};
  for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(steps[i]["name"].String(), names[i]);
  EXPECT_EQ(Text(steps[1]["returned"]), "0");
  EXPECT_EQ(Text(steps[3]["returned"]), "7");
  EXPECT_TRUE(steps[0]["called"].Bool());

  // The bar after the build callback: the engine's menus and the shell's.
  const Json& bar = dump["menuBar"];
  ASSERT_EQ(bar.Size(), 4u);
  EXPECT_EQ(bar[0]["text"].String(), "&File");
  EXPECT_TRUE(bar[0]["id"].IsNull());
  EXPECT_EQ(bar[0]["flags"].Number(), MF_POPUP);
  EXPECT_EQ(bar[2]["text"].String(), "Internet");
  EXPECT_EQ(bar[3]["text"].String(), "&Help");
  const Json& options = bar[1]["popup"];
  EXPECT_EQ(options[options.Size() - 1]["text"].String(), "Languages...");
  EXPECT_EQ(options[options.Size() - 1]["id"].Number(), 2000);
  const Json& internet = bar[2]["popup"];
  ASSERT_EQ(internet.Size(), 3u);
  EXPECT_EQ(internet[1]["flags"].Number(), MF_SEPARATOR);
  EXPECT_EQ(internet[2]["id"].Number(), 1040);

  // Failure hands back a block whose first 32 bits are 0; freeing it is counted.
  ASSERT_NE(results, nullptr);
  EXPECT_EQ(*static_cast<std::uint32_t*>(results), 0u);
  free_(results);
  dump = ReadDump();
  EXPECT_EQ(dump["freeCalls"].Number(), 1);
  EXPECT_FALSE(dump["freedNull"].Bool());
  EXPECT_EQ(dump["result"].String(), "failure");
}

TEST_F(StartIgnisTest, ResultsAndUnknownSteps) {
  ShellRecord shell;
  struct Case {
    const char* script;
    bool null;             // the results pointer stays null
    std::uint32_t first;   // else its first 32 bits
    std::size_t calls;     // callbacks made
    bool unknownStep;      // reported on standard error
  };
  const Case cases[] = {
      {"", false, 1, 0, false},
      {"result:null,result:success", false, 1, 0, false},
      {"result:failure", false, 0, 0, false},
      {"idle,result:null", true, 0, 1, false},
      // An unknown step stops the script with a failure: what follows never runs.
      {"idle,jump,idle", false, 0, 1, true},
      {"result:null,command:", false, 0, 0, true},
      {"wait:-1", false, 0, 0, true},
      {"result:maybe", false, 0, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    Log().calls.clear();
    testing::internal::CaptureStderr();
    void* results = Start(shell.record, c.script);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(results == nullptr, c.null);
    if (results != nullptr) {
      EXPECT_EQ(*static_cast<std::uint32_t*>(results), c.first);
    }
    EXPECT_EQ(Log().calls.size(), c.calls);
    EXPECT_EQ(ReadDump()["result"].String(), c.null ? "null" : c.first == 1 ? "success" : "failure");
    EXPECT_EQ(err.find("unknown script step") != std::string::npos, c.unknownStep) << err;
    free_(results);
    EXPECT_EQ(ReadDump()["freedNull"].Bool(), c.null);
  }
}

TEST_F(StartIgnisTest, WithoutDisplayOrScriptPrintsASummary) {
  ShellRecord shell;
  std::u16string drive = u"E:";
  shell.record.selectedDrive = drive.c_str();
  shell.record.taskCode = kTaskCopyDisc;
  shell.record.startMode = kStartWithInput;
  unsetenv("ORBCORE_SCRIPT");
  testing::internal::CaptureStdout();
  void* results = nullptr;
  start_(&shell.record, &results);
  const std::string out = testing::internal::GetCapturedStdout();
  ASSERT_NE(results, nullptr);
  EXPECT_EQ(*static_cast<std::uint32_t*>(results), 1u);
  free_(results);

  for (const char* expected : {"Korvane Orbweave 9 \xc3\x84ra", "9.12.0.194 (2210)", "Deutsch", "wide", "copy a disc",
                               "E:", "deutsch.chm", "&Options", "Languages...  [2000]", "Internet"}) {
    EXPECT_NE(out.find(expected), std::string::npos) << expected << " missing from:\n" << out;
  }
  EXPECT_EQ(Log().calls, std::vector<std::string>{"build"});
  EXPECT_EQ(ReadDump()["result"].String(), "success");
  EXPECT_EQ(ReadDump()["window"].String(), "none");
}

TEST_F(StartIgnisTest, AnsiPlatformsGetCodePageTexts) {
  // An emulated Windows 98: the shell writes its texts in the code page.
  testing_support::SetRegString(HKEY_LOCAL_MACHINE, u"Software\\Win32Compat", u"Version", u"win98");
  ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr);
  ShellRecord shell;
  const std::string name = "Korvane Orbweave 9 \xc3\x84ra";
  const std::string path = "Z:\\projects\\b\xc3\xa4r.prj";
  ProjectFileInput open{0, path.c_str()};
  shell.record.displayName = name.c_str();
  shell.record.settingsKey = "SOFTWARE\\korvane";
  shell.record.languageName = "Deutsch";
  shell.record.taskCode = kTaskOpenProject;
  shell.record.taskInput = &open;
  shell.record.helpTopics = nullptr;
  shell.record.aboutMarkup = nullptr;
  shell.record.version = nullptr;
  shell.record.reportContentType = nullptr;
  shell.record.shortName = "Orbweave";
  shell.record.fullVersion = nullptr;
  free_(Start(shell.record, "build"));
  std::setlocale(LC_ALL, "C");

  const Json dump = ReadDump();
  EXPECT_EQ(dump["textForm"].String(), "ansi");
  EXPECT_EQ(dump["record"]["28"].String(), name);
  EXPECT_EQ(dump["record"]["4"].String(), "SOFTWARE\\korvane");
  EXPECT_EQ(dump["record"]["60"]["4"].String(), path);
  // Wide fields stay wide on every platform.
  EXPECT_EQ(dump["record"]["220"].String(), "support@example.com");
  EXPECT_EQ(dump["menuBar"][3]["popup"][2]["text"].String(), "&About " + name + "...");
}

}  // namespace
