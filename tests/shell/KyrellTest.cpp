// The application object's settings reads and the launch record it builds.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "compat/win32/StringConv.h"
#include "shell/Kyrell.h"
#include "tests/support/IsolatedTest.h"
#include "tests/support/Registry.h"
#include "tests/support/TestSupport.h"

namespace {

using testing_support::SetRegDword;
using testing_support::SetRegString;

const std::u16string kBase = u"SOFTWARE\\korvane\\Korvane Orbweave 9";

// Opens the start-up steps that prepare the record, so a test can run them
// without the engine.
class TestableKyrellApp : public CKyrellApp {
 public:
  using CKyrellApp::ChooseHelp;
  using CKyrellApp::ComputePaths;
  using CKyrellApp::LoadEngine;
  using CKyrellApp::ReadIdentitySettings;
  using CKyrellApp::ReadUpgradeName;
  using CKyrellApp::SelectLanguage;

  void PrepareLaunch(const std::u16string& commandLine) {
    commandLine_ = commandLine;
    m_lpCmdLine = commandLine_.data();
    ComputePaths();
    LoadEngine();
    ReadIdentitySettings();
    SelectLanguage();
    ReadUpgradeName();
    ChooseHelp();
  }

 private:
  std::u16string commandLine_;
};

std::u16string Wide(const void* text) { return text ? static_cast<const char16_t*>(text) : u"<null>"; }
std::string Ansi(const void* text) { return text ? static_cast<const char*>(text) : "<null>"; }
std::u16string U16(const std::string& s) { return compat::win32::Utf8ToUtf16(s); }

class KyrellTest : public testing_support::IsolatedTest {
 protected:
  void SetUp() override {
    UnsetEnv("DISPLAY");
    UnsetEnv("WAYLAND_DISPLAY");
  }

  const testing_support::TempFolder& folder_ = folder();
};

TEST_F(KyrellTest, SettingsPreferTheUserAndCheckTheType) {
  SetRegString(HKEY_LOCAL_MACHINE, kBase, u"Edition", u"machine edition");
  SetRegString(HKEY_CURRENT_USER, kBase, u"ProductCode", u"user code");
  SetRegString(HKEY_LOCAL_MACHINE, kBase, u"ProductCode", u"machine code");
  SetRegDword(HKEY_CURRENT_USER, kBase, u"Version", 912);       // wrong type for a text
  SetRegString(HKEY_CURRENT_USER, kBase, u"UpdateType", u"3");  // wrong type for a number
  SetRegDword(HKEY_LOCAL_MACHINE, kBase, u"UpdateType", 1);
  SetRegDword(HKEY_CURRENT_USER, kBase + u"\\General", u"FirstStart", 0);

  TestableKyrellApp app;
  EXPECT_EQ(app.GetSettingString(u"", u"Edition", u"x").str(), u"machine edition");
  EXPECT_EQ(app.GetSettingString(u"", u"ProductCode", u"x").str(), u"user code");
  EXPECT_EQ(app.GetSettingString(u"", u"Version", u"9.12").str(), u"9.12");
  EXPECT_EQ(app.GetSettingString(u"", u"Absent", u"fallback").str(), u"fallback");
  EXPECT_EQ(app.GetSettingInt(u"", u"UpdateType", 2), 1);
  EXPECT_EQ(app.GetSettingInt(u"General", u"FirstStart", 1), 0);
  EXPECT_EQ(app.GetSettingInt(u"", u"FirstStart", 1), 1);  // lives in "General" only
  // Names compare without case, as the registry does.
  EXPECT_EQ(app.GetSettingString(u"", u"EDITION", u"x").str(), u"machine edition");
}

TEST_F(KyrellTest, RecordWithoutSettingsOrArgumentsHoldsEveryDefault) {
  TestableKyrellApp app;
  app.PrepareLaunch(u"");
  const LaunchRecord& r = app.BuildLaunchRecord();

  EXPECT_EQ(r.layoutTag, 22u);
  EXPECT_EQ(r.registryRoot, 0x80000001u);
  EXPECT_EQ(Wide(r.settingsKey), kBase);
  EXPECT_EQ(Wide(r.displayName), u"Korvane Orbweave 9");
  EXPECT_EQ(Wide(r.shortName), u"Orbweave");
  EXPECT_EQ(Wide(r.fullVersion), u"9.12.0.194 (2210)");
  EXPECT_EQ(Wide(r.version), u"9.12");
  EXPECT_EQ(Wide(r.productCode), u"2210");
  EXPECT_EQ(Wide(r.edition), u"");
  EXPECT_EQ(Wide(r.reportTransform), u"html");
  EXPECT_EQ(Wide(r.reportContentType), u"application/x-www-form-urlencoded");
  EXPECT_EQ(Wide(r.reportTitle), u"Problem Report %APPNAME%");
  EXPECT_EQ(Wide(r.reportTaskDescription),
            u"Please fill out the form completely and provide a detailed description of the problem.\n"
            u" If possible, please describe the steps that are necessary to reproduce it.\n"
            u"Thank you for your effort!");
  EXPECT_EQ(Wide(r.reportExplanation), u"Problem reports are usuallly answered within two business days.");
  EXPECT_TRUE(Wide(r.reportUrl).ends_with(u"/report/index2.py/sendreport"));
  EXPECT_EQ(Wide(r.upgradeName), u"the successor of Korvane Orbweave 9");
  EXPECT_NE(r.supportEmail, nullptr);

  EXPECT_EQ(r.taskCode, kTaskDataDisc);
  EXPECT_EQ(r.startMode, kStartNormal);
  EXPECT_EQ(r.taskInput, nullptr);
  EXPECT_EQ(r.selectedDrive, nullptr);

  EXPECT_EQ(r.featureMask48, 0x3FFF0DFFu);
  EXPECT_EQ(r.featureMask216, 0x1CFFBBFFu);
  EXPECT_EQ(r.featureMask256, 0xDEEFu);
  EXPECT_EQ(r.color156, 0x1F1811u);
  EXPECT_EQ(r.value236, 2006u);
  EXPECT_EQ(r.value204, 2086u);
  ASSERT_NE(r.font, nullptr);
  EXPECT_EQ(r.font->lfHeight, -12);
  EXPECT_EQ(r.font->lfWeight, 700);
  EXPECT_EQ(r.font->lfCharSet, 1);
  EXPECT_EQ(r.font->lfOutPrecision, 7);
  EXPECT_EQ(r.font->lfQuality, 4);
  EXPECT_EQ(r.font->lfPitchAndFamily, 2);
  EXPECT_EQ(std::u16string(r.font->lfFaceName), u"MS Shell Dlg");
  EXPECT_NE(r.menuBuild, nullptr);
  EXPECT_NE(r.menuCommand, nullptr);
  EXPECT_NE(r.idle, nullptr);

  ASSERT_NE(r.helpTopics, nullptr);
  EXPECT_EQ(r.helpTopics->layoutTag, 2u);
  ASSERT_EQ(r.helpTopics->count, 85u);
  // No help file at all: every address is "::/" and the page.
  EXPECT_EQ(Wide(r.helpTopics->helpFile), u"");
  EXPECT_EQ(Wide(r.helpTopics->entries[1].topic), u"::/Whatwouldyouliketodo.htm");
  EXPECT_EQ(r.helpTopics->entries[84].context, 62700u);
}

TEST_F(KyrellTest, CommandLineChoosesTaskStartModeAndDrive) {
  struct Case {
    const char16_t* line;
    std::uint32_t task;
    std::uint32_t mode;
    const char16_t* drive;  // null: none
  };
  const Case cases[] = {
      {u"", kTaskDataDisc, kStartNormal, nullptr},
      {u"-open", kTaskDataDisc, kStartNormal, nullptr},
      {u"-autoplay -rip", kTaskRipAudioCd, kStartWithInput, nullptr},
      {u"-AUTOPLAY -selectdrive E: -copy", kTaskCopyDisc, kStartWithInput, u"E:"},
      {u"-autoplay -copy -rip", kTaskRipAudioCd, kStartWithInput, nullptr},
      {u"-autoplay -eject -copy", kTaskCopyDisc, kStartWithInput, nullptr},
      {u"-autoplay -copy -selectdrive", kTaskCopyDisc, kStartWithInput, nullptr},
      {u"-autoplay -selectdrive F: -selectdrive G:", kTaskDataDisc, kStartNormal, u"G:"},
      {u"-datacd Z:\\nowhere\\list.txt", kTaskDataDisc, kStartNormal, nullptr},
      {u"-open \"Z:\\my projects\\x.prj\"", kTaskOpenProject, kStartWithInput, nullptr},
  };
  for (const Case& c : cases) {
    TestableKyrellApp app;
    app.PrepareLaunch(c.line);
    const LaunchRecord& r = app.BuildLaunchRecord();
    const auto index = &c - cases;
    EXPECT_EQ(r.taskCode, c.task) << "case " << index;
    EXPECT_EQ(r.startMode, c.mode) << "case " << index;
    EXPECT_EQ(Wide(r.selectedDrive), c.drive ? c.drive : u"<null>") << "case " << index;
  }
}

TEST_F(KyrellTest, ProjectAndAudioInputsReachTheRecord) {
  {
    TestableKyrellApp app;
    app.PrepareLaunch(u"-open \"Z:\\my projects\\x.prj\"");
    const LaunchRecord& r = app.BuildLaunchRecord();
    const auto* project = static_cast<const ProjectFileInput*>(r.taskInput);
    ASSERT_NE(project, nullptr);
    EXPECT_EQ(Wide(project->path), u"Z:\\my projects\\x.prj");
  }
  {
    const std::string list = folder_ / "audio.txt";
    testing_support::WriteFile(
        list, testing_support::Utf16Bytes(u"Z:\\missing\\one.wav\r\nZ:\\missing\\two.wav\r\n", false, true));
    TestableKyrellApp app;
    app.PrepareLaunch(u"-audiocd " + U16(list));
    const LaunchRecord& r = app.BuildLaunchRecord();
    EXPECT_EQ(r.taskCode, kTaskAudioCd);
    EXPECT_EQ(r.startMode, kStartWithInput);
    const auto* audio = static_cast<const AudioCdListInput*>(r.taskInput);
    ASSERT_NE(audio, nullptr);
    // Audio paths are passed on unchecked.
    ASSERT_EQ(audio->count, 2u);
    EXPECT_EQ(Wide(audio->paths[1]), u"Z:\\missing\\two.wav");
    EXPECT_FALSE(testing_support::FileExists(list));
    app.FreeTaskInput();
    EXPECT_EQ(audio->count, 0u);
  }
}

TEST_F(KyrellTest, DataDiscListKeepsWhatExistsAndMarksFolders) {
  const std::string music = folder_ / "music";
  const std::string song = folder_ / "song.mp3";
  ASSERT_EQ(std::system(("mkdir " + music).c_str()), 0);
  testing_support::WriteFile(song, "x");
  const std::string list = folder_ / "data.txt";
  testing_support::WriteFile(
      list, testing_support::Utf16Bytes(U16(music + "\n" + folder_ / "gone.txt" + "\n" + song + "\n"),
                                        true, true));
  const std::string other = folder_ / "other.txt";
  testing_support::WriteFile(other, testing_support::Utf16Bytes(U16(song), false, true));

  {
    TestableKyrellApp app;
    app.PrepareLaunch(u"-DATACD " + U16(list));
    const LaunchRecord& r = app.BuildLaunchRecord();
    EXPECT_EQ(r.taskCode, kTaskDataDisc);
    EXPECT_EQ(r.startMode, kStartDataDiscList);
    const auto* data = static_cast<const DataDiscListInput*>(r.taskInput);
    ASSERT_NE(data, nullptr);
    ASSERT_EQ(data->count, 2u);
    EXPECT_EQ(data->items[0].kind, kDataItemFolder);
    EXPECT_EQ(Wide(data->items[0].path), U16(music) + u"\\*.*");
    EXPECT_EQ(data->items[1].kind, kDataItemFile);
    EXPECT_EQ(Wide(data->items[1].path), U16(song));
    EXPECT_EQ(std::u16string(data->items[1].targetFolder), u"\\");
    EXPECT_FALSE(testing_support::FileExists(list));
  }
  // Any other switch reads the list but neither uses nor deletes it.
  TestableKyrellApp second;
  second.PrepareLaunch(u"-burn " + U16(other));
  const LaunchRecord& r2 = second.BuildLaunchRecord();
  EXPECT_EQ(r2.taskInput, nullptr);
  EXPECT_EQ(r2.startMode, kStartNormal);
  EXPECT_TRUE(testing_support::FileExists(other));
}

TEST_F(KyrellTest, NonNtPlatformGetsAnsiTextsAndNoUpgradeName) {
  SetRegString(HKEY_LOCAL_MACHINE, u"Software\\Win32Compat", u"Version", u"win98");
  SetRegString(HKEY_CURRENT_USER, kBase, u"ProductCode", u"");
  TestableKyrellApp app;
  app.PrepareLaunch(u"-autoplay -selectdrive E: -copy");
  EXPECT_FALSE(app.IsUnicodePlatform());
  const LaunchRecord& r = app.BuildLaunchRecord();
  EXPECT_EQ(Ansi(r.displayName), "Korvane Orbweave 9");
  EXPECT_EQ(Ansi(r.settingsKey), "SOFTWARE\\korvane\\Korvane Orbweave 9");
  EXPECT_EQ(Ansi(r.selectedDrive), "E:");
  EXPECT_EQ(Ansi(r.helpTopics->entries[0].topic), "::/proginf.htm");
  // Wide always, or null off the NT family.
  EXPECT_EQ(r.upgradeName, nullptr);
  EXPECT_NE(std::u16string(r.supportEmail).find(u'@'), std::u16string::npos);
  // An empty product code is handed over as null.
  EXPECT_EQ(r.productCode, nullptr);
}

}  // namespace
