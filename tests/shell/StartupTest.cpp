// Runs the real program with its engine and reads what the engine received.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "compat/win32/StringConv.h"
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

  ProcessResult Regedit(std::vector<std::string> args) {
    return testing_support::Run(ProgramRun{bin_ + "/regedit", std::move(args), {}, {}, std::chrono::seconds(20)});
  }

  // Imports a .reg file into the test's hives with the registry tool.
  void Seed(const std::string& regText) {
    testing_support::WriteFile(folder_ / "seed.reg", regText);
    const ProcessResult result = Regedit({"/s", folder_ / "seed.reg"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
  }

  std::string RegExport(const std::string& key) {
    const std::string file = folder_ / "export.reg";
    return Regedit({"/a", file, key}).exitCode == 0 ? testing_support::ReadFile(file) : std::string();
  }

  std::string bin_ = testing_support::BuildBin();
  const testing_support::TempFolder& folder_ = folder();
  std::string dumpPath_ = folder_ / "dump.json";
};

// The unit tests check the record field by field; here a real start shows
// that every step the record needs ran, in the program as built.
TEST_F(StartupTest, WithoutSettingsEveryDefaultReachesTheEngine) {
  const ProcessResult result = testing_support::Run(Program({}));
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const Json dump = Json::ParseFile(dumpPath_);
  const Json& record = dump["record"];
  EXPECT_EQ(dump["textForm"].String(), "wide");
  EXPECT_EQ(dump["result"].String(), "success");
  EXPECT_EQ(dump["freeCalls"].Number(), 1);
  EXPECT_EQ(record["272"].String(), "the successor of Korvane Orbweave 9");
  // The program's icon, in both sizes, and the three callbacks.
  for (const char* at : {"16", "20", "40", "44", "228"}) EXPECT_TRUE(record[at].Bool()) << at;
  EXPECT_EQ(record["64"]["4"].Number(), 85);
  EXPECT_NE(record["32"].String().find("%APPNAME%,version %APPVER%"), std::string::npos);
  // The engine ran its script: the menu build and one idle call.
  EXPECT_EQ(dump["steps"].Size(), 3u);
  // The first start has been recorded as done.
  EXPECT_NE(RegExport("HKEY_CURRENT_USER\\SOFTWARE\\korvane\\Korvane Orbweave 9\\General")
                .find("\"FirstStart\"=dword:00000000"),
            std::string::npos);
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
    EXPECT_EQ(Json::ParseFile(dumpPath_)["record"]["144"].String(), "9.12");
    EXPECT_TRUE(locked || testing_support::ReadFile(hive) == junk);
  }
}

// With no locale at all, as in a bare container, the paths in a list file
// named with letters beyond ASCII reach the engine intact, and the list's own
// name, in Latin-1 bytes that are no UTF-8, reaches the very file: the
// program reads it and removes it.
TEST_F(StartupTest, NonAsciiPathsNeedNoLocale) {
  const std::string folder = folder_ / "fotos \xC3\xA9t\xC3\xA9";
  std::filesystem::create_directory(folder);
  const std::string list = folder_ / "liste caf\xE9.txt";
  std::u16string text = compat::win32::Utf8ToUtf16("Z:" + folder + "\r\nZ:\\no\\such\\file.txt\r\n");
  std::replace(text.begin(), text.end(), u'/', u'\\');
  testing_support::WriteFile(list, testing_support::Utf16Bytes(text, false, true));

  ProgramRun run = Program({"-datacd", list});
  run.env.erase("LC_ALL");
  run.unsetEnv.insert(run.unsetEnv.end(), {"LC_ALL", "LC_CTYPE", "LANG", "LANGUAGE"});
  const ProcessResult result = testing_support::Run(run);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const Json dump = Json::ParseFile(dumpPath_);
  const Json& input = dump["record"]["60"];
  ASSERT_EQ(input["8"].Number(), 1);
  EXPECT_EQ(input["12"][0]["0"].Number(), 3);
  EXPECT_TRUE(input["12"][0]["4"].String().ends_with("\\fotos \xC3\xA9t\xC3\xA9\\*.*"))
      << input["12"][0]["4"].String();
  EXPECT_FALSE(testing_support::FileExists(list));
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

// A program folder with the program but without the engine it expects:
// none at all (and no drive library), one without its exports, or one with
// the start export only. Each is reported, nothing is launched, and the
// first start is still to come.
TEST_F(StartupTest, BrokenInstallIsReportedAndTheRunEndsInOrder) {
  for (const char* engine : {"", "libengine_without_exports.so", "libengine_start_only.so"}) {
    const bool withEngine = *engine != 0;
    const std::string install = folder_ / (withEngine ? engine : "bare");
    std::filesystem::create_directory(install);
    for (const char* file : {"orbweave", "libcompat_win32.so"}) {
      std::filesystem::copy_file(bin_ + "/" + file, install + "/" + file);
    }
    if (withEngine) {
      std::filesystem::copy_file(bin_ + "/libkvn_spti.so", install + "/libkvn_spti.so");
      std::filesystem::copy_file(bin_ + "/" + engine, install + "/liborbcore.so");
    }
    ProgramRun run = Program({});
    run.program = install + "/orbweave";
    const ProcessResult result = testing_support::Run(run);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err.find("Could not load kvn_spti.dll") != std::string::npos, !withEngine) << result.err;
    EXPECT_NE(result.err.find("Could not load orbcore.dll"), std::string::npos) << result.err;
    EXPECT_FALSE(testing_support::FileExists(dumpPath_));
    EXPECT_EQ(RegExport("HKEY_CURRENT_USER\\SOFTWARE\\korvane\\Korvane Orbweave 9\\General").find("FirstStart"),
              std::string::npos);
  }
}

}  // namespace
