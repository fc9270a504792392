// Runs the real program with its engine and reads what the engine received.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <tuple>

#include "compat/win32/StringConv.h"
#include "tests/support/IsolatedTest.h"
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
    return {.program = program_, .args = std::move(args),
            .env = {{"LC_ALL", "C.UTF-8"}, {"ORBCORE_DUMP", dump.empty() ? dumpPath_ : dump},
                    {"ORBCORE_SCRIPT", script.empty() ? "build,idle,result:success" : script}},
            .unsetEnv = {"DISPLAY", "WAYLAND_DISPLAY"}};
  }

  // A program folder of its own that later runs start from, with copies of `files` from the build's.
  std::string Install(const std::string& name, std::initializer_list<const char*> files) {
    const std::string install = folder() / name;
    std::filesystem::create_directory(install);
    for (const char* file : files) std::filesystem::copy(bin_ + "/" + file, install + "/" + file);
    program_ = install + "/orbweave";
    return install;
  }

  static std::optional<std::uint32_t> FirstStart() {
    return testing_support::GetRegDword(HKEY_CURRENT_USER, kKey + u"\\General", u"FirstStart");
  }

  static inline const std::u16string kKey = u"SOFTWARE\\korvane\\Korvane Orbweave 9";
  std::string bin_ = testing_support::BuildBin();
  std::string program_ = bin_ + "/orbweave";
  std::string dumpPath_ = folder() / "dump.json";
};

// What only a real start shows: the icons and about text, the results freed once, the first start done.
TEST_F(StartupTest, RealStartHandsOverIconsAndAboutTextAndRecordsTheFirstStart) {
  const ProcessResult result = testing_support::Run(Program({}));
  ASSERT_EQ(result.exitCode, 0) << result.err;
  nlohmann::json dump = testing_support::ReadJson(dumpPath_);
  EXPECT_EQ(dump["freeCalls"], 1);
  EXPECT_TRUE(dump["record"]["16"] == true && dump["record"]["20"] == true);
  EXPECT_NE(dump["record"]["32"].get<std::string>().find("%APPNAME%,version %APPVER%"), std::string::npos);
  EXPECT_EQ(FirstStart(), 0u);
}

// The loader looks for libraries only in the system's folders, never below the folder the program was
// started from (an empty search path entry), where any file of a library's name would load, nor in the
// program folder, whose libraries the program loads by their paths. The engine and the drive and
// Internet libraries bind to the Win32 stand-in inside the program: the library file never loads.
TEST_F(StartupTest, LibrariesAreSearchedOnlyByAbsolutePaths) {
  ProgramRun run = Program({});
  run.env["LD_DEBUG"] = "libs";
  const ProcessResult result = testing_support::Run(run);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  std::istringstream lines(result.err);
  int tried = 0;
  std::set<std::string> started;
  for (std::string line; std::getline(lines, line);) {
    if (const size_t init = line.find("calling init: "); init != std::string::npos)
      started.insert(line.substr(line.find_last_of('/') + 1));
    const size_t at = line.find("trying file=");
    if (at == std::string::npos) continue;
    ++tried;
    EXPECT_EQ(line.substr(at + 12, 1), "/") << line;
    EXPECT_NE(line.compare(at + 12, bin_.size() + 1, bin_ + "/"), 0) << line;
  }
  EXPECT_GT(tried, 0);
  for (const char* library : {"libkvn_spti.so", "liborbcore.so", "libkvn_inet.so"})
    EXPECT_TRUE(started.count(library)) << library;
  EXPECT_FALSE(started.count("libcompat_win32.so"));
}

// A user hive locked, then damaged: told once, no machine value taken either, the damaged file kept.
TEST_F(StartupTest, UnreadableUserHiveIsReportedOnceAndMixesNothing) {
  const std::string hive = folder() / "registry/user.db";
  for (bool locked : {true, false}) {
    SCOPED_TRACE(locked ? "locked" : "damaged");
    // Seeded by the registry tool, so that this process holds no hive open.
    testing_support::WriteFile(folder() / "seed.reg",
                               "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\korvane\\Korvane Orbweave 9]\r\n"
                               "\"Edition\"=\"user's\"\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\korvane\\Korvane "
                               "Orbweave 9]\r\n\"Version\"=\"7.7\"\r\n");
    ASSERT_EQ(testing_support::Run({bin_ + "/regedit", {"/s", folder() / "seed.reg"}, {}, {}}).exitCode, 0);
    const std::string junk(4096, 'x');
    std::optional<testing_support::ForeignLock> lock;
    if (locked) {
      ASSERT_TRUE(lock.emplace(hive).held());
    } else {
      testing_support::WriteFile(hive, junk);
    }
    const ProcessResult result = testing_support::Run(Program({}));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string told = "Korvane Orbweave 9 could not be read: ";
    EXPECT_NE(result.err.find(told), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find(told, result.err.find(told) + 1), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(locked ? "of the file. The program" : "is corrupt. The program"),
              std::string::npos);
    EXPECT_EQ(testing_support::ReadJson(dumpPath_)["record"]["144"], "9.12");
    EXPECT_TRUE(locked || testing_support::ReadFile(hive) == junk);
  }
}

// With no locale, list paths reach the engine intact and a list named in Latin-1 bytes is still found.
TEST_F(StartupTest, NonAsciiPathsNeedNoLocale) {
  const std::string photos = folder() / "fotos \xC3\xA9t\xC3\xA9";
  std::filesystem::create_directory(photos);
  const std::string list = folder() / "liste caf\xE9.txt";
  std::u16string text = compat::win32::Utf8ToUtf16("Z:" + photos + "\r\nZ:\\no\\such\\file.txt\r\n");
  std::replace(text.begin(), text.end(), u'/', u'\\');
  testing_support::WriteFile(list, testing_support::Utf16Bytes(text, false, true));

  ProgramRun run = Program({"-datacd", list});
  run.env.erase("LC_ALL");
  run.unsetEnv.insert(run.unsetEnv.end(), {"LC_ALL", "LC_CTYPE", "LANG", "LANGUAGE"});
  const ProcessResult result = testing_support::Run(run);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const nlohmann::json item = testing_support::ReadJson(dumpPath_)["record"]["60"]["12"][0];
  EXPECT_TRUE(item["4"].get<std::string>().ends_with("\\fotos \xC3\xA9t\xC3\xA9\\*.*")) << item;
  EXPECT_FALSE(testing_support::FileExists(list));
}

// The locale, or the "Language" setting before it, picks the pack in "lang"; an unknown language
// falls to the system's, then to English. The current pack names the help file first.
TEST_F(StartupTest, LocaleOrSettingPicksThePackTheEngineSees) {
  const std::string install = Install("install", {"orbweave", "libcompat_win32.so", "liborbcore.so", "lang"});
  for (const char* help : {"/lang/de.chm", "/lang/Orbweave_de.chm"}) testing_support::WriteFile(install + help, "");
  const std::tuple<const char*, const char16_t*, const char*, const char*, const char*> cases[] = {
      {"de_DE.UTF-8", nullptr, "de", "Orbweave_de.kvnLang", "der Nachfolger von Korvane Orbweave 9"},
      {"pt_BR.UTF-8", u"tlh", "English", "Orbweave_en.kvnLang", "the successor of Korvane Orbweave 9"},
      {"en_US.UTF-8", u"fr-ca", "fr", "Orbweave_fr.kvnLang", "le successeur de Korvane Orbweave 9"}};
  for (const auto& [locale, setting, language, pack, upgradeName] : cases) {
    SCOPED_TRACE(locale);
    if (setting) testing_support::SetRegString(HKEY_CURRENT_USER, kKey + u"\\General", u"Language", setting);
    ProgramRun run = Program({});
    run.env.erase("LC_ALL");
    run.env["LANG"] = locale;
    run.unsetEnv.insert(run.unsetEnv.end(), {"LC_ALL", "LC_MESSAGES", "LANGUAGE"});
    const ProcessResult result = testing_support::Run(run);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    nlohmann::json record = testing_support::ReadJson(dumpPath_)["record"];
    EXPECT_EQ(record["12"], language);
    EXPECT_TRUE(record["72"].get<std::string>().ends_with(std::string("\\lang\\") + pack)) << record["72"];
    EXPECT_EQ(record["272"], upgradeName);
    const std::string help = record["64"]["16"];
    EXPECT_EQ(help.ends_with("\\lang\\Orbweave_de.chm"), language == std::string("de")) << help;
  }
}

// "--help" and "--version" answer on stdout even beside a running instance, and
// do nothing else; as a later argument "--help" is what it always was, and any
// other second instance ends at once and silently.
TEST_F(StartupTest, SecondInstanceEndsSilentlyButHelpAndVersionAnswer) {
  testing_support::BackgroundProgram first(Program({}, "wait:4000,result:success"));
  ASSERT_TRUE(testing_support::WaitForFile(dumpPath_, std::chrono::seconds(20)));
  const std::string otherDump = folder() / "other.json";
  const std::tuple<std::vector<std::string>, std::string> rows[] = {
      {{"--version"}, "orbweave (Korvane Orbweave 9) 9.12.0.194 (2210)\n"},
      {{"--help", "-copy"}, "Usage: orbweave [TASK]\n"},
      {{"--HELP"}, ""},
      {{"-open", "--help"}, ""},
      {{"-autoplay", "-rip"}, ""},
  };
  for (const auto& [args, begins] : rows) {
    const ProcessResult result = testing_support::Run(Program(args, "", otherDump));
    EXPECT_EQ(result.exitCode, 0) << args[0];
    EXPECT_EQ(begins.empty() ? result.out : result.out.substr(0, begins.size()), begins) << args[0];
    EXPECT_EQ(result.err, "") << args[0];
    EXPECT_FALSE(testing_support::FileExists(otherDump));  // no engine, no second instance
  }
  EXPECT_EQ(first.Wait().exitCode, 0);
  const ProcessResult help = testing_support::Run(Program({"--help"}));
  for (const char* part : {"-datacd LISTFILE", "-audiocd LISTFILE", "-open PROJECT", "-selectdrive DRIVE",
                           "byte order mark", "deleted", "--version"}) {
    EXPECT_NE(help.out.find(part), std::string::npos) << part;
  }
}

// An install without engine (nor drive library), without its exports, or with the start export only:
// reported, nothing launched, the first start still to come.
TEST_F(StartupTest, BrokenInstallIsReportedAndTheRunEndsInOrder) {
  for (const char* engine : {"", "libengine_without_exports.so", "libengine_start_only.so"}) {
    const bool withEngine = *engine != 0;
    const std::string install = Install(withEngine ? engine : "bare", {"orbweave", "libcompat_win32.so"});
    if (withEngine) {
      std::filesystem::copy_file(bin_ + "/libkvn_spti.so", install + "/libkvn_spti.so");
      std::filesystem::copy_file(bin_ + "/" + engine, install + "/liborbcore.so");
    }
    const ProcessResult result = testing_support::Run(Program({}));
    EXPECT_EQ(result.err.find("Could not load kvn_spti.dll") != std::string::npos, !withEngine) << result.err;
    EXPECT_NE(result.err.find("Could not load orbcore.dll"), std::string::npos) << result.err;
    EXPECT_EQ(std::tuple(result.exitCode, testing_support::FileExists(dumpPath_), FirstStart()),
              std::tuple(0, false, std::nullopt));
  }
}

}  // namespace
