// Runs the real program with its engine and reads what the engine received.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "tests/support/IsolatedTest.h"
#include "tests/support/Json.h"
#include "tests/support/Registry.h"
#include "tests/support/TestSupport.h"

namespace {

using testing_support::ProcessResult;
using testing_support::ProgramRun;

class StartupTest : public testing_support::IsolatedTest {
 protected:
  // The program run with a private registry, mutex folder and dump file.
  ProgramRun Program(std::vector<std::string> args, const std::string& script = "",
                     const std::string& dump = "") {
    ProgramRun run;
    run.program = bin_ + "/orbweave";
    run.args = std::move(args);
    run.env["LC_ALL"] = "C.UTF-8";
    run.env["ORBCORE_DUMP"] = dump.empty() ? dumpPath_ : dump;
    run.env["ORBCORE_SCRIPT"] = script.empty() ? "build,idle,result:success" : script;
    run.unsetEnv = {"DISPLAY", "WAYLAND_DISPLAY"};
    return run;
  }

  // Imports a .reg file into the test's hives with the registry tool.
  void Seed(const std::string& regText) {
    const std::string file = folder_ / "seed.reg";
    testing_support::WriteFile(file, regText);
    ProgramRun run;
    run.program = bin_ + "/regedit";
    run.args = {"/s", file};
    const ProcessResult result = testing_support::Run(run);
    ASSERT_EQ(result.exitCode, 0) << result.err;
  }

  std::string RegExport(const std::string& key) {
    const std::string file = folder_ / "export.reg";
    ProgramRun run;
    run.program = bin_ + "/regedit";
    run.args = {"/a", file, key};
    const ProcessResult result = testing_support::Run(run);
    return result.exitCode == 0 ? testing_support::ReadFile(file) : std::string();
  }

  Json RunAndReadDump(std::vector<std::string> args, const std::string& script = "") {
    const ProcessResult result = testing_support::Run(Program(std::move(args), script));
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return Json::ParseFile(dumpPath_);
  }

  std::string bin_ = testing_support::BuildBin();
  const testing_support::TempFolder& folder_ = folder();
  std::string dumpPath_ = folder_ / "dump.json";
};

TEST_F(StartupTest, WithoutSettingsEveryDefaultReachesTheEngine) {
  const ProcessResult result = testing_support::Run(Program({}));
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const Json dump = Json::ParseFile(dumpPath_);
  const Json& record = dump["record"];
  EXPECT_EQ(dump["textForm"].String(), "wide");
  EXPECT_EQ(dump["result"].String(), "success");
  EXPECT_EQ(dump["freeCalls"].Number(), 1);
  EXPECT_EQ(record["0"].Number(), 22);
  EXPECT_EQ(record["4"].String(), "SOFTWARE\\korvane\\Korvane Orbweave 9");
  EXPECT_EQ(record["28"].String(), "Korvane Orbweave 9");
  EXPECT_EQ(record["52"].Number(), 1);
  EXPECT_EQ(record["56"].Number(), 0);
  EXPECT_TRUE(record["60"].IsNull());
  EXPECT_EQ(record["144"].String(), "9.12");
  EXPECT_EQ(record["168"].String(), "2210");
  EXPECT_EQ(record["252"].String(), "html");
  EXPECT_EQ(record["280"].String(), "Orbweave");
  EXPECT_EQ(record["284"].String(), "9.12.0.194 (2210)");
  EXPECT_TRUE(record["232"].IsNull());
  // The program's icon, in both sizes, and the three callbacks.
  EXPECT_TRUE(record["16"].Bool());
  EXPECT_TRUE(record["20"].Bool());
  EXPECT_TRUE(record["40"].Bool());
  EXPECT_TRUE(record["44"].Bool());
  EXPECT_TRUE(record["228"].Bool());
  EXPECT_EQ(record["212"]["28"].String(), "MS Shell Dlg");
  EXPECT_EQ(record["64"]["4"].Number(), 85);
  EXPECT_NE(record["32"].String().find("%APPNAME%,version %APPVER%"), std::string::npos);
  // The engine ran its script: the menu build and one idle call.
  EXPECT_EQ(dump["steps"].Size(), 3u);
  // The first start has been recorded as done.
  EXPECT_NE(RegExport("HKEY_CURRENT_USER\\SOFTWARE\\korvane\\Korvane Orbweave 9\\General")
                .find("\"FirstStart\"=dword:00000000"),
            std::string::npos);
}

TEST_F(StartupTest, SettingsOfTheWrongTypeCountAsMissing) {
  Seed("REGEDIT4\r\n\r\n"
       "[HKEY_CURRENT_USER\\SOFTWARE\\korvane\\Korvane Orbweave 9]\r\n"
       "\"Version\"=dword:00000912\r\n"
       "\"Edition\"=\"Platinum\"\r\n"
       "\"ReportTransformURL\"=\"xml\"\r\n"
       "\r\n"
       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\korvane\\Korvane Orbweave 9]\r\n"
       "\"Edition\"=\"Machine\"\r\n"
       "\"ProductCode\"=\"\"\r\n");
  const Json record = RunAndReadDump({})["record"];
  EXPECT_EQ(record["144"].String(), "9.12");
  EXPECT_EQ(record["172"].String(), "Platinum");
  EXPECT_EQ(record["252"].String(), "xml");
  EXPECT_TRUE(record["168"].IsNull());
}

// A user hive locked by another process, then a damaged one: the user is
// told once, the run takes every default rather than the machine's values
// beside the user's, and the damaged file stays as it was.
TEST_F(StartupTest, UnreadableUserHiveIsReportedOnceAndMixesNothing) {
  const std::string hive = folder_ / "registry/user.db";
  for (bool locked : {true, false}) {
    SCOPED_TRACE(locked ? "locked" : "damaged");
    Seed("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\korvane\\Korvane Orbweave 9]\r\n"
         "\"Edition\"=\"user's\"\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\korvane\\Korvane Orbweave 9]\r\n"
         "\"Version\"=\"7.7\"\r\n");
    const std::string junk(4096, 'x');
    std::unique_ptr<testing_support::ForeignLock> lock;
    if (locked) {
      lock = std::make_unique<testing_support::ForeignLock>(hive);
      ASSERT_TRUE(lock->held());
    } else {
      testing_support::WriteFile(hive, junk);
    }
    const ProcessResult result = testing_support::Run(Program({}));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string told = "could not be read: ";
    const size_t first = result.err.find(told);
    EXPECT_NE(first, std::string::npos) << result.err;
    EXPECT_EQ(result.err.find(told, first + 1), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(locked ? "locked" : "corrupt"), std::string::npos) << result.err;
    const Json dump = Json::ParseFile(dumpPath_);
    EXPECT_EQ(dump["record"]["144"].String(), "9.12");
    if (!locked) {
      EXPECT_TRUE(testing_support::ReadFile(hive) == junk);
    }
  }
}

TEST_F(StartupTest, AutoplayCopyHandsTheDriveToTheEngine) {
  const Json record = RunAndReadDump({"-autoplay", "-selectdrive", "E:", "-copy"})["record"];
  EXPECT_EQ(record["52"].Number(), 3);
  EXPECT_EQ(record["56"].Number(), 1);
  EXPECT_EQ(record["232"].String(), "E:");

  const Json rip = RunAndReadDump({"-autoplay", "-rip"})["record"];
  EXPECT_EQ(rip["52"].Number(), 17);
  EXPECT_EQ(rip["56"].Number(), 1);
}

TEST_F(StartupTest, DataDiscListDropsMissingPathsAndIsDeleted) {
  const std::string folder = folder_ / "photos";
  std::filesystem::create_directory(folder);
  const std::string list = folder_ / "list.txt";
  const std::u16string text = u"Z:" + std::u16string(folder.begin(), folder.end()) + u"\r\nZ:\\no\\such\\file.txt\r\n";
  std::u16string windowsText = text;
  for (char16_t& c : windowsText) {
    if (c == u'/') c = u'\\';
  }
  testing_support::WriteFile(list, testing_support::Utf16Bytes(windowsText, false, true));

  const Json record = RunAndReadDump({"-DATACD", list})["record"];
  EXPECT_EQ(record["52"].Number(), 1);
  EXPECT_EQ(record["56"].Number(), 2);
  const Json& input = record["60"];
  ASSERT_EQ(input["8"].Number(), 1);
  EXPECT_EQ(input["12"][0]["0"].Number(), 3);
  const std::string path = input["12"][0]["4"].String();
  EXPECT_TRUE(path.ends_with("photos\\*.*")) << path;
  EXPECT_EQ(input["12"][0]["8"].String(), "\\");
  EXPECT_FALSE(testing_support::FileExists(list));
}

TEST_F(StartupTest, NonNtPlatformHandsAnsiTexts) {
  Seed("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Win32Compat]\r\n\"Version\"=\"winme\"\r\n");
  const Json dump = RunAndReadDump({"-open", "Z:\\projects\\b\xc3\xa4r.prj"});
  EXPECT_EQ(dump["textForm"].String(), "ansi");
  EXPECT_EQ(dump["record"]["28"].String(), "Korvane Orbweave 9");
  EXPECT_EQ(dump["record"]["52"].Number(), 11);
  EXPECT_EQ(dump["record"]["60"]["4"].String(), "Z:\\projects\\b\xc3\xa4r.prj");
  EXPECT_TRUE(dump["record"]["272"].IsNull());
}

TEST_F(StartupTest, SecondInstanceEndsAtOnceAndSilently) {
  testing_support::BackgroundProgram first(Program({}, "wait:4000,result:success"));
  // The engine writes its dump as soon as it starts.
  ASSERT_TRUE(testing_support::WaitForFile(dumpPath_, std::chrono::seconds(20)));

  const std::string secondDump = folder_ / "second.json";
  const ProcessResult second = testing_support::Run(Program({"-autoplay", "-rip"}, "", secondDump));
  EXPECT_EQ(second.exitCode, 0);
  EXPECT_EQ(second.err, "");
  EXPECT_EQ(second.out, "");
  EXPECT_FALSE(testing_support::FileExists(secondDump));

  const ProcessResult firstResult = first.Wait();
  EXPECT_EQ(firstResult.exitCode, 0) << firstResult.err;
}

// A program folder with the program but without the engine it expects.
class BrokenInstallTest : public StartupTest {
 protected:
  void SetUp() override {
    install_ = folder_ / "install";
    std::filesystem::create_directory(install_);
    for (const char* file : {"orbweave", "libcompat_win32.so"}) {
      std::filesystem::copy_file(bin_ + "/" + file, install_ + "/" + file);
    }
  }

  ProcessResult RunInstalled() {
    ProgramRun run = Program({});
    run.program = install_ + "/orbweave";
    return testing_support::Run(run);
  }

  std::string install_;
};

TEST_F(BrokenInstallTest, MissingEngineIsReportedAndTheRunEndsInOrder) {
  const ProcessResult result = RunInstalled();
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_NE(result.err.find("Could not load kvn_spti.dll"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("Could not load orbcore.dll"), std::string::npos) << result.err;
  EXPECT_FALSE(testing_support::FileExists(dumpPath_));
  // Without an engine nothing is launched, so the first start is still to come.
  EXPECT_EQ(RegExport("HKEY_CURRENT_USER\\SOFTWARE\\korvane\\Korvane Orbweave 9\\General")
                .find("FirstStart"),
            std::string::npos);
}

TEST_F(BrokenInstallTest, EngineWithoutItsExportsIsReported) {
  std::filesystem::copy_file(bin_ + "/libkvn_spti.so", install_ + "/libkvn_spti.so");
  std::filesystem::copy_file(bin_ + "/libengine_without_exports.so", install_ + "/liborbcore.so");
  const ProcessResult result = RunInstalled();
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.err.find("kvn_spti"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("Could not load orbcore.dll"), std::string::npos) << result.err;
  EXPECT_FALSE(testing_support::FileExists(dumpPath_));
}

}  // namespace
