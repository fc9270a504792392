// StartIgnis called as the shell calls it; what the engine received read back from its dump.
#include <gtest/gtest.h>
#include <time.h>
#include <unistd.h>

#include <clocale>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "EngineTestSupport.h"
#include "peers/orbcore/StartSignal.h"
#include "tests/support/Registry.h"

namespace {

using namespace engine_test;
using nlohmann::json;
using StartIgnisTest = EngineTest;

// Members of a dumped structure by name (an offset, mostly); a missing one
// reads as "<absent>", apart from null.
void ExpectFields(const json& object, std::initializer_list<std::pair<const char*, json>> fields) {
  for (const auto& [name, expected] : fields)
    EXPECT_EQ(object.value(name, json("<absent>")), expected) << name;
}

// Every 32-bit slot under its offset (an array one member a slot), nested
// records as objects, and what the shell left unset as null.
TEST_F(StartIgnisTest, DumpNamesEveryFieldByItsOffset) {
  ShellRecord shell;
  free_(Start(shell.record, ""));
  json dump = ReadDump();
  const json expected = json::parse(R"js({"0": 22, "4": null, "8": 2147483649, "12": "Deutsch", "16": true,
      "20": null, "24": true, "28": "Korvane Orbweave 9 \u00c4ra", "32": null, "36": 0, "40": true, "44": true,
      "48": 1073679871, "52": 1, "56": 0, "60": null, "64": {"0": 2, "4": 2, "12": 90,
        "16": "Z:\\opt\\orbweave\\lang\\deutsch.chm",
        "8": [{"0": 17, "4": 0, "8": "Z:\\opt\\orbweave\\lang\\deutsch.chm::/proginf.htm"},
              {"0": 0, "4": 600, "8": "Z:\\opt\\orbweave\\lang\\deutsch.chm::/Whatwouldyouliketodo.htm"}]},
      "68": 0, "72": null, "76": 0, "80": 0, "84": 0, "88": 0, "92": 0, "96": 0, "100": 0, "104": 104,
      "108": null, "112": null, "116": "say \"hi\"\t\\ \ud83d\udcbf", "120": 0, "124": 0, "128": 0, "132": 0,
      "136": 0, "140": 0, "144": "9.12", "148": 0, "152": 0, "156": 0, "160": 0, "164": 0, "168": null,
      "172": null, "176": 0, "180": 0, "184": 5324333, "188": 0, "192": 0, "196": 0, "200": 0, "204": 0,
      "208": 0, "212": {"0": -12, "4": 0, "8": 0, "12": 0, "16": 700, "20": 0, "21": 0, "22": 0, "23": 1,
        "24": 7, "25": 0, "26": 4, "27": 2, "28": "MS Shell Dlg"},
      "216": 0, "220": "support@example.com", "224": 0, "228": true, "232": null, "236": 2006, "240": null,
      "244": null, "248": 0, "252": null, "256": 0, "260": 0, "264": 0, "268": 0, "272": null, "276": 0,
      "280": null, "284": "9.12.0.194 (2210)", "288": true})js");
  EXPECT_EQ(dump["record"], expected) << json::diff(dump["record"], expected);
}

TEST_F(StartIgnisTest, TaskInputFollowsTheTaskCode) {
  ShellRecord shell;
  std::u16string track1 = u"Z:\\music\\01 \u00e9t\u00e9.wav";
  std::u16string folder = u"Z:\\photos\\*.*", file = u"Z:\\notes.txt";
  IgnisText tracks[] = {track1.c_str(), u"Z:\\music\\02.wav"};
  AudioCdListInput audio{7, 2, tracks};
  DataDiscItem items[] = {{kDataItemFolder, folder.c_str(), u"\\"}, {kDataItemFile, file.c_str(), u"\\"}};
  DataDiscListInput data{5, 6, 2, items};

  shell.record.taskCode = kTaskAudioCd;
  shell.record.startMode = kStartWithInput;
  shell.record.taskInput = &audio;
  free_(Start(shell.record, ""));
  EXPECT_EQ(ReadDump()["record"]["60"], json::parse(R"({"0": 7, "4": 2,
      "8": ["Z:\\music\\01 \u00e9t\u00e9.wav", "Z:\\music\\02.wav"]})"));

  // A data disc list of two items: the second is read a whole item further on.
  shell.record.taskCode = kTaskDataDisc;
  shell.record.startMode = kStartDataDiscList;
  shell.record.taskInput = &data;
  free_(Start(shell.record, ""));
  EXPECT_EQ(ReadDump()["record"]["60"], json::parse(R"({"0": 5, "4": 6, "8": 2, "12": [
      {"0": 3, "4": "Z:\\photos\\*.*", "8": "\\"}, {"0": 0, "4": "Z:\\notes.txt", "8": "\\"}]})"));
}

TEST_F(StartIgnisTest, ScriptCallsTheShellInOrderAndRecordsTheSteps) {
  ShellRecord shell;
  void* results = Start(shell.record, "build, command:2000,idle,command:107,wait:5,result:failure");
  EXPECT_EQ(g_log.calls, (std::vector<std::string>{"build", "command 2000 0", "idle", "command 107 0"}));
  // The dump at entry already existed while the engine ran, without a result.
  EXPECT_TRUE(g_log.dumpSeenDuringBuild);
  EXPECT_FALSE(g_log.resultInEntryDump);
  EXPECT_NE(g_log.windowDuringBuild, nullptr);
  EXPECT_EQ(mainWindow_(), nullptr);

  json dump = ReadDump();
  EXPECT_EQ(dump["freeCalls"], 0);
  EXPECT_EQ(dump["steps"], json::parse(R"([{"name": "build", "called": true, "returned": null},
      {"name": "command:2000", "called": true, "returned": 0},
      {"name": "idle", "called": true, "returned": null},
      {"name": "command:107", "called": true, "returned": 7},
      {"name": "wait:5"}, {"name": "result:failure"}])"));

  // The bar after the build callback: the engine's menus and the shell's.
  json& bar = dump["menuBar"];
  ASSERT_EQ(bar.size(), 4u);
  ExpectFields(bar[0], {{"text", "&File"}, {"id", nullptr}, {"flags", MF_POPUP}});
  ExpectFields(bar[2], {{"text", "Internet"}});
  ExpectFields(bar[1]["popup"].back(), {{"text", "Languages..."}, {"id", 2000}});
  json& internet = bar[2]["popup"];
  ASSERT_EQ(internet.size(), 3u);
  ExpectFields(internet[1], {{"flags", MF_SEPARATOR}});
  ExpectFields(internet[2], {{"id", 1040}});

  // Freeing the block handed back is counted.
  free_(results);
  dump = ReadDump();
  EXPECT_EQ(dump["freeCalls"], 1);
  EXPECT_EQ(dump["freedNull"], false);
  EXPECT_EQ(dump["result"], "failure");

  // A record without callbacks: every step is still logged, as not called.
  LaunchRecord bare{};
  free_(Start(bare, "build,command:3,idle"));
  EXPECT_EQ(ReadDump()["steps"], json::parse(R"([{"name": "build", "called": false, "returned": null},
      {"name": "command:3", "called": false, "returned": null},
      {"name": "idle", "called": false, "returned": null}])"));

  // Without a record the run fails at once, and the dump says so.
  start_(nullptr, &results);
  EXPECT_EQ(ReadDump(), json::parse(R"({"record": null, "result": "failure"})"));
  free_(results);
}

TEST_F(StartIgnisTest, ResultsAndUnknownSteps) {
  ShellRecord shell;
  // The script; whether the results pointer stays null, else its first 32
  // bits; the callbacks made; whether an unknown step is reported.
  const std::tuple<const char*, bool, std::uint32_t, std::size_t, bool> cases[] = {
      {"", false, 1, 0, false},
      {"result:null,result:success", false, 1, 0, false},
      {"result:failure", false, 0, 0, false},
      {"idle,result:null", true, 0, 1, false},
      {" ,idle,\t, idle ,", false, 1, 2, false},  // blank steps are no steps
      // An unknown step stops the script with a failure: what follows never runs.
      {"idle,jump,idle", false, 0, 1, true},
      {"result:null,command:", false, 0, 0, true},
      {"wait:-1", false, 0, 0, true},
      {"result:maybe", false, 0, 0, true},
  };
  for (const auto& [script, null, first, calls, unknownStep] : cases) {
    SCOPED_TRACE(script);
    g_log.calls.clear();
    testing::internal::CaptureStderr();
    void* results = Start(shell.record, script);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(results == nullptr, null);
    EXPECT_EQ(results != nullptr ? *static_cast<std::uint32_t*>(results) : first, first);
    EXPECT_EQ(g_log.calls.size(), calls);
    EXPECT_EQ(ReadDump()["result"], null ? "null" : first == 1 ? "success" : "failure");
    EXPECT_EQ(err.find("unknown script step") != std::string::npos, unknownStep) << err;
    free_(results);
    EXPECT_EQ(ReadDump()["freedNull"], null);
  }
}

TEST_F(StartIgnisTest, WithoutDisplayOrScriptPrintsASummary) {
  ShellRecord shell;
  std::u16string drive = u"E:";
  shell.record.selectedDrive = drive.c_str();
  shell.record.taskCode = kTaskRestoreBackup;  // a task the engine does not write
  shell.record.startMode = kStartWithInput;
  testing::internal::CaptureStdout();
  free_(Start(shell.record));
  const std::string out = testing::internal::GetCapturedStdout();

  for (const char* expected : {"Korvane Orbweave 9 \xc3\x84ra", "9.12.0.194 (2210)", "Deutsch", "wide", "restore a backup",
                               "E:", "deutsch.chm", "&Options", "Languages...  [2000]", "Internet"}) {
    EXPECT_NE(out.find(expected), std::string::npos) << expected << " missing from:\n" << out;
  }
  EXPECT_EQ(g_log.calls, std::vector<std::string>{"build"});
  EXPECT_EQ(ReadDump()["result"], "success");
  EXPECT_EQ(ReadDump()["window"], "none");
}

// With ORBCORE_STARTED_FD the engine sends its start signal on entering: the byte, then the processor time
// used until then, least significant byte first, which is no more than the process has used when it is read.
TEST_F(StartIgnisTest, StartSignalCarriesTheProcessorTimeSoFar) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  SetEnv("ORBCORE_STARTED_FD", std::to_string(ends[1]));
  ShellRecord shell;
  free_(Start(shell.record, ""));
  UnsetEnv("ORBCORE_STARTED_FD");
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  unsigned char message[orbcore::kStartSignalSize] = {};
  ASSERT_EQ(read(ends[0], message, sizeof message), static_cast<ssize_t>(sizeof message));
  close(ends[0]);
  std::uint64_t nanoseconds = 0;
  for (int i = 7; i >= 0; --i) nanoseconds = nanoseconds << 8 | message[1 + i];
  EXPECT_EQ(message[0], 1);
  EXPECT_GT(nanoseconds, 0u);
  EXPECT_LE(nanoseconds, static_cast<std::uint64_t>(now.tv_sec) * 1000000000u + static_cast<std::uint64_t>(now.tv_nsec));
}

TEST_F(StartIgnisTest, AnsiPlatformsGetCodePageTexts) {
  // An emulated Windows 98: the shell writes its texts in the code page.
  testing_support::SetRegString(HKEY_LOCAL_MACHINE, u"Software\\Win32Compat", u"Version", u"win98");
  ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr);
  ShellRecord shell;
  LaunchRecord& record = shell.record;
  for (IgnisText* text : {&record.languageName, &record.reportContentType, &record.version, &record.fullVersion})
    *text = nullptr;
  record.helpTopics = nullptr;
  const std::string name = "Korvane Orbweave 9 \xc3\x84ra";
  record.displayName = name.c_str();
  free_(Start(record, "build"));
  std::setlocale(LC_ALL, "C");

  json dump = ReadDump();
  EXPECT_EQ(dump["textForm"], "ansi");
  EXPECT_EQ(dump["record"]["28"], name);
  // Wide fields stay wide on every platform.
  EXPECT_EQ(dump["record"]["220"], "support@example.com");
  EXPECT_EQ(dump["menuBar"][3]["popup"][2]["text"], "&About " + name + "...");
}

}  // namespace
