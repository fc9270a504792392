// The engine as the shell uses it: StartIgnis called with a filled launch
// record, and what the engine received read back from its dump file.
#include <gtest/gtest.h>

#include <clocale>
#include <initializer_list>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "EngineTestSupport.h"
#include "tests/support/Registry.h"

namespace {

using namespace engine_test;
using StartIgnisTest = EngineTest;

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

// Members of a dumped structure by name (an offset, mostly), as JSON text.
void ExpectFields(const Json& object, std::initializer_list<std::pair<const char*, std::string>> fields) {
  for (const auto& [name, expected] : fields) EXPECT_EQ(Text(object[name]), expected) << name;
}

TEST_F(StartIgnisTest, DumpNamesEveryFieldByItsOffset) {
  ShellRecord shell;
  free_(Start(shell.record, ""));
  const Json dump = ReadDump();
  const Json& record = dump["record"];
  EXPECT_EQ(dump["textForm"].String(), "wide");

  // 73 slots of 32 bits, each under its offset, arrays one member a slot.
  EXPECT_EQ(record.Size(), 73u);
  for (int offset = 0; offset <= 288; offset += 4) EXPECT_TRUE(record.Has(std::to_string(offset))) << offset;

  ExpectFields(record, {{"8", "2147483649"}, {"12", "\"Deutsch\""}, {"20", "null"} /* icon not set */,
                        {"24", "true"}, {"48", "1073679871"}, {"104", "104"} /* an array's last slot */,
                        {"184", "5324333"}, {"236", "2006"}, {"116", "\"say \"hi\"\t\\ \xf0\x9f\x92\xbf\""},
                        {"220", "\"support@example.com\""}, {"288", "true"}});
  // Every member under its own offset: the five LONGs, the eight bytes, the face name.
  ExpectFields(record["212"], {{"0", "-12"}, {"4", "0"}, {"8", "0"}, {"12", "0"}, {"16", "700"}, {"20", "0"},
                               {"21", "0"}, {"22", "0"}, {"23", "1"}, {"24", "7"}, {"25", "0"}, {"26", "4"},
                               {"27", "2"}, {"28", "\"MS Shell Dlg\""}});
  const Json& help = record["64"];
  ExpectFields(help, {{"0", "2"}, {"4", "2"}, {"12", "90"}, {"16", "\"Z:\\opt\\orbweave\\lang\\deutsch.chm\""}});
  ASSERT_EQ(help["8"].Size(), 2u);
  ExpectFields(help["8"][0], {{"0", "17"}, {"4", "0"}});
  ExpectFields(help["8"][1], {{"0", "0"}, {"4", "600"},
                              {"8", "\"Z:\\opt\\orbweave\\lang\\deutsch.chm::/Whatwouldyouliketodo.htm\""}});
}

TEST_F(StartIgnisTest, TaskInputFollowsTheTaskCode) {
  ShellRecord shell;
  std::u16string track1 = u"Z:\\music\\01 \u00e9t\u00e9.wav", folder = u"Z:\\photos\\*.*", file = u"Z:\\notes.txt";
  IgnisText tracks[] = {track1.c_str(), u"Z:\\music\\02.wav"};
  AudioCdListInput audio{7, 2, tracks};
  DataDiscItem items[] = {{kDataItemFolder, folder.c_str(), u"\\"}, {kDataItemFile, file.c_str(), u"\\"}};
  DataDiscListInput data{5, 6, 2, items};

  shell.record.taskCode = kTaskAudioCd;
  shell.record.startMode = kStartWithInput;
  shell.record.taskInput = &audio;
  free_(Start(shell.record, ""));
  Json input = ReadDump()["record"]["60"];
  EXPECT_EQ(input.Size(), 3u);
  ExpectFields(input, {{"0", "7"}, {"4", "2"}});
  EXPECT_EQ(input["8"][0].String(), "Z:\\music\\01 \xc3\xa9t\xc3\xa9.wav");
  EXPECT_EQ(input["8"][1].String(), "Z:\\music\\02.wav");

  // A data disc list of two items: the second is read a whole item further on.
  shell.record.taskCode = kTaskDataDisc;
  shell.record.startMode = kStartDataDiscList;
  shell.record.taskInput = &data;
  free_(Start(shell.record, ""));
  input = ReadDump()["record"]["60"];
  ExpectFields(input, {{"0", "5"}, {"4", "6"}, {"8", "2"}});
  ASSERT_EQ(input["12"].Size(), 2u);
  EXPECT_EQ(input["12"][0]["4"].String(), "Z:\\photos\\*.*");
  ExpectFields(input["12"][1], {{"0", "0"}, {"4", "\"Z:\\notes.txt\""}, {"8", "\"\\\""}});
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
  ExpectFields(steps[0], {{"called", "true"}});
  ExpectFields(steps[1], {{"returned", "0"}});
  ExpectFields(steps[3], {{"returned", "7"}});

  // The bar after the build callback: the engine's menus and the shell's.
  const Json& bar = dump["menuBar"];
  ASSERT_EQ(bar.Size(), 4u);
  ExpectFields(bar[0], {{"text", "\"&File\""}, {"id", "null"}, {"flags", std::to_string(MF_POPUP)}});
  ExpectFields(bar[2], {{"text", "\"Internet\""}});
  ExpectFields(bar[3], {{"text", "\"&Help\""}});
  const Json& options = bar[1]["popup"];
  ExpectFields(options[options.Size() - 1], {{"text", "\"Languages...\""}, {"id", "2000"}});
  const Json& internet = bar[2]["popup"];
  ASSERT_EQ(internet.Size(), 3u);
  ExpectFields(internet[1], {{"flags", std::to_string(MF_SEPARATOR)}});
  ExpectFields(internet[2], {{"id", "1040"}});

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
    Log().calls.clear();
    testing::internal::CaptureStderr();
    void* results = Start(shell.record, script);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(results == nullptr, null);
    if (results != nullptr) {
      EXPECT_EQ(*static_cast<std::uint32_t*>(results), first);
    }
    EXPECT_EQ(Log().calls.size(), calls);
    EXPECT_EQ(ReadDump()["result"].String(), null ? "null" : first == 1 ? "success" : "failure");
    EXPECT_EQ(err.find("unknown script step") != std::string::npos, unknownStep) << err;
    free_(results);
    EXPECT_EQ(ReadDump()["freedNull"].Bool(), null);
  }
}

TEST_F(StartIgnisTest, WithoutDisplayOrScriptPrintsASummary) {
  ShellRecord shell;
  std::u16string drive = u"E:";
  shell.record.selectedDrive = drive.c_str();
  shell.record.taskCode = kTaskCopyDisc;
  shell.record.startMode = kStartWithInput;
  testing::internal::CaptureStdout();
  void* results = Start(shell.record);
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
  LaunchRecord& record = shell.record;
  for (IgnisText* text : {&record.languageName, &record.reportContentType, &record.version, &record.fullVersion}) {
    *text = nullptr;
  }
  record.helpTopics = nullptr;
  const std::string name = "Korvane Orbweave 9 \xc3\x84ra";
  record.displayName = name.c_str();
  free_(Start(record, "build"));
  std::setlocale(LC_ALL, "C");

  const Json dump = ReadDump();
  EXPECT_EQ(dump["textForm"].String(), "ansi");
  EXPECT_EQ(dump["record"]["28"].String(), name);
  // Wide fields stay wide on every platform.
  EXPECT_EQ(dump["record"]["220"].String(), "support@example.com");
  EXPECT_EQ(dump["menuBar"][3]["popup"][2]["text"].String(), "&About " + name + "...");
}

}  // namespace
