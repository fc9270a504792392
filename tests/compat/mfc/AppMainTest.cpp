// Runs small framework programs: the start-up before InitInstance, and how the process ends.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace {

using testing_support::ProcessResult;

// `locale` false runs the probe with no locale variable at all, as in a bare container.
ProcessResult RunProbe(const std::vector<std::string>& args, std::map<std::string, std::string> env = {},
                       const std::string& program = "compat_mfc_app_probe", bool locale = true) {
  testing_support::ProgramRun run;
  run.program = testing_support::BuildBin() + "/" + program;
  run.args = args;
  run.env = std::move(env);
  run.unsetEnv = {"DISPLAY", "WAYLAND_DISPLAY", "PROBE_EXIT_IN_CONSTRUCTOR", "PROBE_INIT_TRUE",
                  "PROBE_EXIT_CODE", "PROBE_RECORD"};
  if (locale) run.env.emplace("LC_ALL", "C.UTF-8");
  else run.unsetEnv.insert(run.unsetEnv.end(), {"LC_ALL", "LC_CTYPE", "LANG", "LANGUAGE"});
  return testing_support::Run(run);
}

TEST(AppMainTest, TheApplicationObjectIsReadyBeforeInitInstance) {
  const ProcessResult result = RunProbe({});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  // The character set and collation come from the locale, numbers stay "C".
  EXPECT_EQ(result.out,
            "cmdline=[]\nexe=compat_mfc_app_probe\napp=compat_mfc_app_probe\ninstance=set\n"
            "locale=C.UTF-8 C.UTF-8 C\nrecorded=0\n");
  // Messages go to the console unless a backend was chosen before.
  EXPECT_EQ(result.err, "compat_mfc_app_probe: error: Could not load orbcore.dll\n");
  const ProcessResult recorded = RunProbe({}, {{"PROBE_RECORD", "1"}});
  EXPECT_EQ(recorded.err, "");
  EXPECT_NE(recorded.out.find("recorded=1\n"), std::string::npos) << recorded.out;
}

TEST(AppMainTest, CommandLineJoinsArgumentsAndQuotesThoseWithBlanks) {
  const std::pair<std::vector<std::string>, const char*> rows[] = {
      {{"-autoplay", "-selectdrive", "E:", "-copy"}, "-autoplay -selectdrive E: -copy"},
      {{"-open", "Z:\\home\\ann\\my disc.prj"}, "-open \"Z:\\home\\ann\\my disc.prj\""},
      {{"tab\there", "", "x"}, "\"tab\there\" \"\" x"},
      {{"\xC3\xA9t\xC3\xA9", "\xE6\x97\xA5\xE6\x9C\xAC"}, "\xC3\xA9t\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC"},
  };
  // Arguments are file names' text, UTF-8 whatever the locale says.
  for (const bool locale : {true, false}) {
    for (const auto& [args, line] : rows) {
      const ProcessResult result = RunProbe(args, {}, "compat_mfc_app_probe", locale);
      EXPECT_EQ(result.exitCode, 0) << result.err;
      EXPECT_NE(result.out.find("cmdline=[" + std::string(line) + "]\n"), std::string::npos)
          << result.out << (locale ? "" : " without a locale");
    }
  }
}

TEST(AppMainTest, TheProcessEndsWithExitInstancesCodeOrFailsWithoutAnApplication) {
  EXPECT_EQ(RunProbe({}, {{"PROBE_EXIT_CODE", "3"}}).exitCode, 3);
  EXPECT_EQ(RunProbe({}, {{"PROBE_EXIT_CODE", "4"}, {"PROBE_INIT_TRUE", "1"}}).exitCode, 4);
  // The object's constructor may end the process before anything runs.
  const ProcessResult early = RunProbe({}, {{"PROBE_EXIT_IN_CONSTRUCTOR", "0"}});
  EXPECT_EQ(early.exitCode, 0);
  EXPECT_EQ(early.out, "");
  const ProcessResult result = RunProbe({}, {}, "compat_mfc_no_app_probe");
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("no application object"), std::string::npos) << result.err;
}

}  // namespace
