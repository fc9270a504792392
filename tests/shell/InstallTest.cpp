// `cmake --install` into a DESTDIR: the files land in their FHS places, the
// desktop's validators accept them, and the installed program runs from there.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <string>

#include "tests/support/IsolatedTest.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ProcessResult;

// A list file's line: the path in UTF-16, little-endian, ending in CR LF.
std::string Utf16leBytes(const std::string& asciiPath) {
  std::string bytes;
  for (const char c : asciiPath + "\r\n") bytes += {c, '\0'};
  return bytes;
}

class InstallTest : public testing_support::IsolatedTest {
 protected:
  ProcessResult RunTool(const std::string& program, std::vector<std::string> args,
                        std::map<std::string, std::string> env = {}) {
    return testing_support::Run({.program = program, .args = std::move(args), .env = std::move(env),
                                 .unsetEnv = {}, .timeout = std::chrono::seconds(120)});
  }
};

TEST_F(InstallTest, PlacesEveryFileAndTheInstalledProgramRuns) {
  const std::string dest = folder() / "dest";
  const std::string build = fs::path(testing_support::BuildBin()).parent_path();
  const ProcessResult install = RunTool(ORBWEAVE_CMAKE, {"--install", build, "--prefix", "/usr"}, {{"DESTDIR", dest}});
  ASSERT_EQ(install.exitCode, 0) << install.err;

  const fs::path usr = fs::path(dest) / "usr";
  const std::string desktop = usr / "share/applications/com.korvane.Orbweave.desktop";
  const std::string metainfo = usr / "share/metainfo/com.korvane.Orbweave.metainfo.xml";
  for (const std::string& file :
       {desktop, metainfo, std::string(usr / "share/man/man1/orbweave.1"),
        std::string(usr / "share/man/man1/orbweave-regedit.1"), std::string(usr / "share/man/man1/orbweave-langpack.1"),
        std::string(usr / "share/orbweave/lang/Orbweave_de.kvnLang")}) {
    EXPECT_TRUE(fs::is_regular_file(file)) << file;
  }
  for (const char* size : {"16", "32", "48", "64", "128", "256"}) {
    EXPECT_TRUE(fs::is_regular_file(usr / "share/icons/hicolor" / (std::string(size) + "x" + size) / "apps" /
                                    "com.korvane.Orbweave.png"))
        << size;
  }
  // The commands are links into the program folder, which sees its packs as "lang".
  for (const char* command : {"orbweave", "orbweave-regedit", "orbweave-langpack"}) {
    EXPECT_TRUE(fs::is_symlink(usr / "bin" / command)) << command;
    EXPECT_TRUE(fs::is_regular_file(usr / "bin" / command)) << command;
  }
  const fs::path program = fs::canonical(usr / "bin/orbweave");
  EXPECT_TRUE(fs::is_regular_file(program.parent_path() / "lang/Orbweave_fr.kvnLang"));
  EXPECT_TRUE(fs::is_regular_file(program.parent_path() / "libcompat_mfc_wx.so"));

  const ProcessResult entry = RunTool("/usr/bin/desktop-file-validate", {desktop});
  EXPECT_EQ(entry.exitCode, 0) << entry.out << entry.err;
  EXPECT_EQ(entry.out + entry.err, "");
  const std::string text = testing_support::ReadFile(desktop);
  for (const char* line : {"Name[de]=", "Name[fr]=", "Actions=burn;copy;rip;", "Exec=orbweave -autoplay -copy",
                           "Name[de]=CD/DVD brennen", "x-content/audio-cdda;", "x-content/blank-cd;"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line;
  }
  const ProcessResult appdata = RunTool("/usr/bin/appstreamcli", {"validate", "--no-net", metainfo});
  EXPECT_EQ(appdata.exitCode, 0) << appdata.out << appdata.err;

  // The installed program, started through its link, takes the German pack beside it.
  EXPECT_EQ(RunTool(usr / "bin/orbweave", {"--version"}).out.rfind("orbweave (Korvane Orbweave 9) 9.12", 0), 0u);
  const std::string dump = folder() / "dump.json";
  const ProcessResult run = testing_support::Run({.program = usr / "bin/orbweave",
                                                  .args = {},
                                                  .env = {{"LANG", "de_DE.UTF-8"}, {"ORBCORE_DUMP", dump},
                                                          {"ORBCORE_SCRIPT", "build,idle,result:success"}},
                                                  .unsetEnv = {"DISPLAY", "WAYLAND_DISPLAY", "LC_ALL", "LANGUAGE",
                                                               "LC_MESSAGES"},
                                                  .timeout = std::chrono::seconds(30)});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const nlohmann::json record = testing_support::ReadJson(dump)["record"];
  EXPECT_EQ(record["12"], "de");
  EXPECT_TRUE(record["72"].get<std::string>().ends_with("\\lang\\Orbweave_de.kvnLang")) << record["72"];

  // A data task run by the installed program loads the engine's disc module
  // from the program folder and writes its image.
  const std::string list = folder() / "list.txt", image = folder() / "out.iso";
  testing_support::WriteFile(list, std::string("\xFF\xFE") + Utf16leBytes(folder() / "dump.json"));
  const ProcessResult task = testing_support::Run({.program = usr / "bin/orbweave",
                                                   .args = {"-datacd", list},
                                                   .env = {{"ORBCORE_TARGET", image}},
                                                   .unsetEnv = {"DISPLAY", "WAYLAND_DISPLAY", "ORBCORE_SCRIPT"},
                                                   .timeout = std::chrono::seconds(60)});
  EXPECT_EQ(task.exitCode, 0) << task.err;
  ASSERT_TRUE(fs::is_regular_file(image)) << task.err;
  EXPECT_GT(fs::file_size(image), 32768u);
}

}  // namespace
