// The application object: settings reads, the launch record it builds, the
// task input from the command line, and the start-up steps the record needs.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <tuple>

#include <wx/app.h>
#include <wx/init.h>

#include "compat/mfc/Backend.h"
#include "compat/win32/StringConv.h"
#include "shell/Autoplay.h"
#include "shell/HelpTopics.h"
#include "shell/Kyrell.h"
#include "tests/support/IsolatedTest.h"
#include "tests/support/Registry.h"
#include "tests/support/TestSupport.h"

namespace {

using testing_support::SetRegDword;
using testing_support::SetRegString;

const std::u16string kBase = u"SOFTWARE\\korvane\\Korvane Orbweave 9";

// Runs the start-up steps that prepare the record, without the engine.
class TestableKyrellApp : public CKyrellApp {
 public:
  using CKyrellApp::ShutDownApplicationManager;
  using CKyrellApp::StopWxWidgets;

  const LaunchRecord& Launch(const std::u16string& commandLine) {
    commandLine_ = commandLine;
    m_lpCmdLine = commandLine_.data();
    ComputePaths();
    LoadEngine();
    ReadIdentitySettings();
    SelectLanguage();
    ReadUpgradeName();
    ChooseHelp();
    return BuildLaunchRecord();
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
    compat::mfc::UseRecordingBackend();
    compat::mfc::ClearRecordedMessages();
    // Two application objects alive at once would end the test program.
    previous_ = CKyrellApp::SetSecondInstanceHandler([] { ADD_FAILURE() << "a second application object"; });
  }

  void TearDown() override { CKyrellApp::SetSecondInstanceHandler(previous_); }

  // A UTF-16LE list file with byte order mark.
  std::string WriteList(const std::string& name, const std::u16string& text) {
    const std::string path = folder() / name;
    testing_support::WriteFile(path, testing_support::Utf16Bytes(text, false, true));
    return path;
  }

  CKyrellApp::SecondInstanceHandler previous_ = nullptr;
};

TEST_F(KyrellTest, SettingsPreferTheUserThenTheMachine) {
  SetRegString(HKEY_LOCAL_MACHINE, kBase, u"Edition", u"machine edition");
  SetRegString(HKEY_CURRENT_USER, kBase, u"ProductCode", u"user code");
  SetRegString(HKEY_LOCAL_MACHINE, kBase, u"ProductCode", u"machine code");
  SetRegDword(HKEY_CURRENT_USER, kBase + u"\\General", u"FirstStart", 0);
  SetRegDword(HKEY_LOCAL_MACHINE, kBase + u"\\General", u"FirstStart", 1);

  TestableKyrellApp app;
  EXPECT_EQ(app.GetSettingString(u"", u"Edition", u"x").str(), u"machine edition");
  EXPECT_EQ(app.GetSettingString(u"", u"ProductCode", u"x").str(), u"user code");
  EXPECT_EQ(app.GetSettingString(u"", u"Version", u"9.12").str(), u"9.12");
  EXPECT_EQ(app.GetSettingInt(u"General", u"FirstStart", 2), 0);
}

// Every setting the start-up reads, stored with each type but its own: in the
// user's hive it gives way to the machine's value, in the machine's hive to the
// default. The bytes read as the text "7" and as the number 55 alike.
TEST_F(KyrellTest, EverySettingOfAnotherTypeCountsAsMissingInEitherHive) {
  const std::tuple<const char16_t*, const char16_t*, DWORD> settings[] = {
      {u"", u"Version", REG_SZ},          {u"", u"Edition", REG_SZ},
      {u"", u"ProductCode", REG_SZ},      {u"", u"ReportTransformURL", REG_SZ},
      {u"", u"DefaultLangID", REG_SZ},    {u"General", u"Language", REG_SZ},
      {u"", u"UpgradeName", REG_SZ},      {u"", u"DefaultHelpFile", REG_SZ},
      {u"", u"UpgradeType", REG_DWORD},   {u"", u"UpdateType", REG_DWORD},
      {u"General", u"FirstStart", REG_DWORD},
  };
  const DWORD types[] = {REG_NONE, REG_SZ,   REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_DWORD_BIG_ENDIAN,
                         REG_LINK, REG_MULTI_SZ, REG_QWORD};
  const std::vector<BYTE> seven = {'7', 0, 0, 0};
  TestableKyrellApp app;
  for (const auto& [subkey, name, ownType] : settings) {
    const std::u16string key = *subkey ? kBase + u"\\" + subkey : kBase;
    for (const DWORD type : types) {
      if (type == ownType) continue;
      for (const HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        SCOPED_TRACE(testing::Message() << compat::win32::Utf16ToUtf8(name) << " of type " << type << " in the "
                                        << (hive == HKEY_CURRENT_USER ? "user's" : "machine's") << " hive");
        testing_support::SetRegValue(hive, key, name, type, seven);
        const bool machineHasIt = hive == HKEY_CURRENT_USER;
        if (ownType == REG_SZ) {
          if (machineHasIt) SetRegString(HKEY_LOCAL_MACHINE, key, name, u"machine");
          EXPECT_EQ(app.GetSettingString(subkey, name, u"default").str(), machineHasIt ? u"machine" : u"default");
        } else {
          if (machineHasIt) SetRegDword(HKEY_LOCAL_MACHINE, key, name, 9);
          EXPECT_EQ(app.GetSettingInt(subkey, name, 3), machineHasIt ? 9 : 3);
        }
        for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) RegDeleteTreeW(root, kBase.c_str());
      }
    }
  }
  EXPECT_TRUE(compat::mfc::RecordedMessages().empty());
}

TEST_F(KyrellTest, RecordWithoutSettingsOrArgumentsHoldsEveryDefault) {
  TestableKyrellApp app;
  const LaunchRecord& r = app.Launch(u"");

  const auto* bytes = reinterpret_cast<const unsigned char*>(&r);
  for (const IgnisConstantSlots& slots : kLaunchRecordConstants) {
    for (unsigned i = 0; i < slots.count; ++i) {
      std::uint32_t value;
      std::memcpy(&value, bytes + slots.host + 4 * i, 4);
      EXPECT_EQ(value, slots.value) << "offset " << slots.offset + 4 * i;
    }
  }

  const std::pair<IgnisText, std::u16string> texts[] = {
      {r.settingsKey, kBase}, {r.displayName, u"Korvane Orbweave 9"}, {r.shortName, u"Orbweave"},
      {r.fullVersion, u"9.12.0.194 (2210)"}, {r.version, u"9.12"}, {r.productCode, u"2210"}, {r.edition, u""},
      {r.reportTransform, u"html"}, {r.reportContentType, u"application/x-www-form-urlencoded"},
      {r.reportTitle, u"Problem Report %APPNAME%"},
      {r.reportExplanation, u"Problem reports are usuallly answered within two business days."},
      {r.upgradeName, u"the successor of Korvane Orbweave 9"}};
  for (const auto& [text, expected] : texts) EXPECT_EQ(Wide(text), expected);
  EXPECT_TRUE(Wide(r.reportUrl).ends_with(u"/report/index2.py/sendreport"));
  EXPECT_TRUE(Wide(r.reportTaskDescription).starts_with(u"Please fill out the form completely"));
  EXPECT_EQ(std::tuple(r.taskInput, app.UpgradeType(), app.UpdateType()), std::tuple(nullptr, 0, 2));

  ASSERT_NE(r.font, nullptr);
  const LOGFONTW font{-12, 0, 0, 0, 700, 0, 0, 0, 1, 7, 0, 4, 2, u"MS Shell Dlg"};
  EXPECT_EQ(std::memcmp(r.font, &font, sizeof font), 0);
  EXPECT_TRUE(r.menuBuild && r.menuCommand && r.idle);

  ASSERT_NE(r.helpTopics, nullptr);
  EXPECT_EQ(std::tuple(r.helpTopics->layoutTag, r.helpTopics->reserved, Wide(r.helpTopics->helpFile)),
            std::tuple(2u, 0u, u""));
  ASSERT_EQ(r.helpTopics->count, 85u);
  // No help file, so every topic is "::/<page>", in the engine's index order (samples: the ends, and
  // the two pages that share one context); no page comes twice.
  const std::tuple<std::uint32_t, std::uint32_t, std::u16string> topics[] = {
      {0, 0, u"proginf.htm"}, {1, 600, u"Whatwouldyouliketodo.htm"}, {44, 100160, u"backup_project.htm"},
      {54, 120400, u"rip_ripstatus.htm"}, {64, 120400, u"dvdvideo_writestatus.htm"},
      {84, 62700, u"multiformatcd_chooseformat.htm"}};
  for (const auto& [i, context, page] : topics) {
    const HelpTopicEntry& entry = r.helpTopics->entries[i];
    EXPECT_EQ(std::tuple(entry.reserved, entry.context, Wide(entry.topic)), std::tuple(0u, context, u"::/" + page))
        << "topic " << i;
  }
  std::set<std::u16string> pages;
  for (std::uint32_t i = 0; i < r.helpTopics->count; ++i) pages.insert(Wide(r.helpTopics->entries[i].topic));
  EXPECT_EQ(pages.size(), 85u);
}

TEST_F(KyrellTest, CommandLineChoosesTaskStartModeAndDrive) {
  const std::tuple<const char16_t*, std::uint32_t, std::uint32_t, const char16_t*> cases[] = {
      {u"", kTaskDataDisc, kStartNormal, nullptr},
      {u"-open", kTaskDataDisc, kStartNormal, nullptr},
      {u"-autoplay -rip", kTaskRipAudioCd, kStartWithInput, nullptr},
      {u"-AUTOPLAY -selectdrive E: -copy", kTaskCopyDisc, kStartWithInput, u"E:"},
      {u"-autoplay -copy -selectdrive", kTaskCopyDisc, kStartWithInput, nullptr},
      {u"-datacd Z:\\nowhere\\list.txt", kTaskDataDisc, kStartNormal, nullptr},
      {u"-open \"Z:\\my projects\\x.prj\"", kTaskOpenProject, kStartWithInput, nullptr},
  };
  for (const auto& [line, task, mode, drive] : cases) {
    SCOPED_TRACE(compat::win32::Utf16ToUtf8(line));
    TestableKyrellApp app;
    const LaunchRecord& r = app.Launch(line);
    EXPECT_EQ(std::tuple(r.taskCode, r.startMode, Wide(r.selectedDrive)),
              std::tuple(task, mode, drive ? drive : u"<null>"));
  }
  EXPECT_TRUE(compat::mfc::RecordedMessages().empty());
}

// An audio list goes unchecked, a data disc list keeps what exists; both are deleted and released.
TEST_F(KyrellTest, ListInputsArePassedDeletedAndReleased) {
  const std::string list = WriteList("audio.txt", u"Z:\\missing\\one.wav\r\nZ:\\missing\\two.wav\r\n");
  TestableKyrellApp app;
  const LaunchRecord& r = app.Launch(u"-audiocd " + U16(list));
  EXPECT_EQ(std::tuple(r.taskCode, r.startMode), std::tuple(kTaskAudioCd, kStartWithInput));
  const auto* audio = static_cast<const AudioCdListInput*>(r.taskInput);
  ASSERT_EQ(std::tuple(audio->count, audio->reserved), std::tuple(2u, 0u));
  EXPECT_EQ(std::tuple(Wide(audio->paths[0]), Wide(audio->paths[1])),
            std::tuple(u"Z:\\missing\\one.wav", u"Z:\\missing\\two.wav"));
  EXPECT_FALSE(testing_support::FileExists(list));
  app.FreeTaskInput();
  EXPECT_EQ(audio->count, 0u);

  const std::string music = folder() / "music";
  const std::string song = folder() / "song.mp3";
  std::filesystem::create_directory(music);
  testing_support::WriteFile(song, "x");
  const std::string dataList =
      WriteList("data.txt", U16(music + "\n" + folder() / "gone.txt" + "\n" + song + "\n"));
  app.Launch(u"-DATACD " + U16(dataList));
  EXPECT_EQ(std::tuple(r.taskCode, r.startMode), std::tuple(kTaskDataDisc, kStartDataDiscList));
  const auto* data = static_cast<const DataDiscListInput*>(r.taskInput);
  ASSERT_EQ(std::tuple(data->count, data->reserved0 | data->reserved1), std::tuple(2u, 0u));
  EXPECT_EQ(std::tuple(data->items[0].kind, Wide(data->items[0].path)),
            std::tuple(kDataItemFolder, U16(music) + u"\\*.*"));
  const DataDiscItem& file = data->items[1];
  EXPECT_EQ(std::tuple(file.kind, Wide(file.path), std::u16string(file.targetFolder)),
            std::tuple(kDataItemFile, U16(song), u"\\"));
  EXPECT_FALSE(testing_support::FileExists(dataList));
  app.FreeTaskInput();
  EXPECT_EQ(data->count, 0u);
}

// The engine's verdict is the result; "FirstStart" missing or not 0 before the launch is a first start.
TEST_F(KyrellTest, LaunchReportsTheEnginesResultAndTheFirstStart) {
  const std::tuple<const char*, std::optional<std::uint32_t>, bool, bool> runs[] = {
      {"result:success", std::nullopt, true, true}, {"result:failure", 0, false, false},
      {"result:null", 7, false, true}};
  for (const auto& [script, firstStart, success, first] : runs) {
    SCOPED_TRACE(script);
    if (firstStart) SetRegDword(HKEY_CURRENT_USER, kBase + u"\\General", u"FirstStart", *firstStart);
    SetEnv("ORBCORE_SCRIPT", script);
    TestableKyrellApp app;
    app.Launch(u"");
    EXPECT_EQ((std::tuple{app.LaunchEngine(), app.IsFirstStart()}), std::tuple(success, first));
  }
  // Without the engine's exports nothing runs and the user is told.
  TestableKyrellApp bare;
  EXPECT_FALSE(bare.LaunchEngine());
  EXPECT_EQ(compat::mfc::RecordedMessages().at(0).text, u"Could not load orbcore.dll");
}

// Shut-down leaves alone a manager and a wxWidgets this object did not start.
TEST_F(KyrellTest, ShutDownLeavesAloneWhatItDidNotStart) {
  int argc = 0;
  ASSERT_TRUE(wxEntryStart(argc, static_cast<wxChar**>(nullptr)));
  TestableKyrellApp app;
  app.ShutDownApplicationManager();
  app.StopWxWidgets();
  EXPECT_NE(wxAppConsole::GetInstance(), nullptr);
  wxEntryCleanup();
}

// Only a regular file for -audiocd or -datacd is used and deleted: a folder or a pipe is reported
// and kept, and any other switch reads its list but neither uses nor deletes it.
TEST_F(KyrellTest, ListsNotTakenAreKept) {
  const std::string fifo = folder() / "pipe";
  const std::string dir = folder() / "folder";
  const std::string other = WriteList("other.txt", u"Z:\\a.wav");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_directory(dir);
  for (const auto& [option, path] : {std::pair{u"-datacd ", fifo}, {u"-audiocd ", dir}, {u"-burn ", other}}) {
    compat::mfc::ClearRecordedMessages();
    TestableKyrellApp app;
    const LaunchRecord& r = app.Launch(option + U16(path));
    EXPECT_EQ(r.taskInput, nullptr) << path;
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::symlink_status(path))) << path;
    const auto& messages = compat::mfc::RecordedMessages();
    ASSERT_EQ(messages.size(), path == other ? 0u : 1u) << path;
    if (path == other) continue;
    EXPECT_EQ(messages[0].text,
              u"\"" + U16(path) + u"\" is not a file and cannot be read as a list of files.");
  }
}

TEST_F(KyrellTest, NonNtPlatformGetsAnsiTextsAndNoUpgradeName) {
  SetRegString(HKEY_LOCAL_MACHINE, u"Software\\Win32Compat", u"Version", u"win98");
  SetRegString(HKEY_CURRENT_USER, kBase, u"ProductCode", u"");
  const std::string list = WriteList("audio.txt", u"Z:\\a.wav\nZ:\\b.wav");
  TestableKyrellApp app;
  const LaunchRecord& r = app.Launch(u"-open Z:\\p.prj");
  EXPECT_EQ(std::tuple(Ansi(r.displayName), Ansi(static_cast<const ProjectFileInput*>(r.taskInput)->path),
                       Ansi(r.helpTopics->entries[0].topic)),
            std::tuple("Korvane Orbweave 9", "Z:\\p.prj", "::/proginf.htm"));
  // Wide always, or null off the NT family; an empty product code is null.
  EXPECT_EQ(std::tuple(r.upgradeName, r.productCode), std::tuple(nullptr, nullptr));
  EXPECT_NE(std::u16string(r.supportEmail).find(u'@'), std::u16string::npos);
  // List paths get their ANSI copies too.
  const auto* input = static_cast<const AudioCdListInput*>(app.Launch(u"-audiocd " + U16(list)).taskInput);
  ASSERT_EQ(input->count, 2u);
  EXPECT_EQ(Ansi(input->paths[0]) + Ansi(input->paths[1]), "Z:\\a.wavZ:\\b.wav");
}

// Each handler's key and its "Action" text, terminator included; nothing before Windows XP.
TEST_F(KyrellTest, AutoplayHandlersAreRegisteredWithTheirActionTexts) {
  const std::pair<const char16_t*, std::u16string> handlers[] = {
      {u"BURNONARRIVAL", u"Burn CD/DVD"}, {u"COPYONARRIVAL", u"Copy CD/DVD"}, {u"RIPONARRIVAL", u"Rip Audio-CD"}};
  const std::u16string keys =
      u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers\\Handlers\\KVNKorvane_Orbweave_9";
  const std::pair<const char16_t*, bool> versions[] = {
      {u"win98", false}, {u"nt40", false}, {u"win2k", false}, {u"winxp", true}, {u"vista", true}};
  for (const auto& [version, offered] : versions) {
    SetRegString(HKEY_LOCAL_MACHINE, u"Software\\Win32Compat", u"Version", version);
    for (const auto& handler : handlers) RegDeleteTreeW(HKEY_LOCAL_MACHINE, (keys + handler.first).c_str());
    // What is not quite the handler's text, left by an earlier run, is written over.
    if (offered) {
      SetRegString(HKEY_LOCAL_MACHINE, keys + u"BURNONARRIVAL", u"Action", u"Burn CD/DVD!");
      SetRegString(HKEY_LOCAL_MACHINE, keys + u"COPYONARRIVAL", u"Action", u"Copy CD/DV");
      const std::string rip = testing_support::Utf16Bytes(u"Rip Audio-CD\0", false, false);
      testing_support::SetRegValue(HKEY_LOCAL_MACHINE, keys + u"RIPONARRIVAL", u"Action", REG_EXPAND_SZ,
                                   {rip.begin(), rip.end()});
    }
    RegisterAutoplayHandlers(u"Korvane Orbweave 9");
    for (const auto& [action, text] : handlers) {
      HKEY key = nullptr;
      const bool exists = RegOpenKeyExW(HKEY_LOCAL_MACHINE, (keys + action).c_str(), 0, KEY_READ, &key) == 0;
      EXPECT_EQ(exists, offered) << compat::win32::Utf16ToUtf8(version + std::u16string(u" ") + action);
      if (!exists) continue;
      BYTE data[64] = {};
      DWORD size = sizeof data, type = 0;
      EXPECT_EQ(RegQueryValueExW(key, u"Action", nullptr, &type, data, &size), 0);
      RegCloseKey(key);
      EXPECT_EQ(std::tuple(type, std::string(reinterpret_cast<const char*>(data), size)),
                std::tuple(DWORD{REG_SZ}, testing_support::Utf16Bytes(text + u'\0', false, false)));
    }
  }
}

// Candidates in order: the pack's own name (or the active language), short name with the active
// language, the pack's third header, the default language, "DefaultHelpFile" and "english.chm".
TEST_F(KyrellTest, HelpFileIsTheFirstCandidateThatExists) {
  const std::string lang = folder() / "lang";
  std::filesystem::create_directory(lang);
  const char* const candidates[] = {"Orbweave-de.chm",      "Orbweave-deutsch.chm", "Orbweave-de-de.chm",
                                    "Orbweave-english.chm", "fallback.chm",         "english.chm"};
  HelpFileChoice choice{.langFolder = CString(U16(lang + "/")), .packCurrent = true,
                        .packFilePath = CString(U16(lang + "/Orbweave-de.kvnLang")), .packHeader3 = u"de-de",
                        .activeLanguage = u"deutsch", .defaultLanguage = u"english",
                        .defaultHelpFile = u"fallback.chm", .shortName = u"Orbweave"};
  EXPECT_EQ(ChooseHelpFile(choice).str(), u"");
  // Each candidate in turn, from the last: each wins over those after it.
  for (int i = static_cast<int>(std::size(candidates)) - 1; i >= 0; --i) {
    testing_support::WriteFile(lang + "/" + candidates[i], "");
    EXPECT_EQ(ChooseHelpFile(choice).str(), U16(lang + "/" + candidates[i])) << candidates[i];
  }
  // Without a pack: the active language's own name first, no header string.
  choice.packCurrent = false;
  for (const char* gone : {"/Orbweave-de.chm", "/Orbweave-deutsch.chm"}) std::filesystem::remove(lang + gone);
  EXPECT_EQ(ChooseHelpFile(choice).str(), U16(lang + "/Orbweave-english.chm"));
  testing_support::WriteFile(lang + "/deutsch.chm", "");
  EXPECT_EQ(ChooseHelpFile(choice).str(), U16(lang + "/deutsch.chm"));
}

}  // namespace
