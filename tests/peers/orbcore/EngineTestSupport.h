// The engine as the shell meets it: liborbcore.so from the program folder with
// a private registry, mutex folder and dump file, a launch record as the shell
// fills it, and shell callbacks that log what the engine called.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <string>
#include <vector>

#include "compat/win32/Menu.h"
#include "peers/orbcore/IgnisLaunch.h"
#include "tests/support/IsolatedTest.h"
#include "tests/support/TestSupport.h"

namespace engine_test {

// What the shell's callbacks saw, in order, on the engine's thread.
struct CallbackLog {
  std::vector<std::string> calls;
  HWND windowDuringBuild = nullptr;
  bool dumpSeenDuringBuild = false;
  bool resultInEntryDump = true;
  std::string dumpPath;
  GetOWMainWindowProc mainWindow = nullptr;
};

inline CallbackLog g_log;
// Idle calls counted apart, for a thread that watches the engine's loop.
inline std::atomic<int> g_idleCalls{0};

// The shell's way: append to the second menu, insert a pop-up at 2.
inline void WINAPI BuildMenu(HMENU bar) {
  g_log.calls.push_back("build");
  g_log.windowDuringBuild = g_log.mainWindow();
  if (testing_support::FileExists(g_log.dumpPath)) {
    g_log.dumpSeenDuringBuild = true;
    g_log.resultInEntryDump = testing_support::ReadJson(g_log.dumpPath).contains("result");
  }
  AppendMenuW(GetSubMenu(bar, 1), MF_STRING, 2000, u"Languages...");
  HMENU internet = CreatePopupMenu();
  AppendMenuW(internet, MF_STRING, 2002, u"Recommend Program to a Friend");
  AppendMenuW(internet, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(internet, MF_STRING, 1040, u"&Send Problem Report to Korvane...");
  InsertMenuW(bar, 2, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(internet), u"Internet");
}

inline std::uint32_t WINAPI MenuCommand(std::uint32_t command, std::uint32_t unused) {
  g_log.calls.push_back("command " + std::to_string(command) + " " + std::to_string(unused));
  return command == 107 ? 7 : 0;
}

inline void WINAPI Idle(std::uint32_t) {
  g_log.calls.push_back("idle");
  ++g_idleCalls;
}

// A record as the shell fills it, with the texts it builds kept alive beside
// it. Texts are UTF-16, as on the NT family. It carries values the shell's
// own start-up never sends, so a field read from the wrong place shows.
struct ShellRecord {
  std::u16string helpFile = u"Z:\\opt\\orbweave\\lang\\deutsch.chm";
  std::u16string topic0 = helpFile + u"::/proginf.htm";
  std::u16string topic1 = helpFile + u"::/Whatwouldyouliketodo.htm";
  HelpTopicEntry entries[2] = {{17, 0, topic0.c_str()}, {0, 600, topic1.c_str()}};
  HelpTopicTable help{kHelpTopicTableTag, 2, entries, 90, helpFile.c_str()};
  LOGFONTW font{-12, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, OUT_TT_ONLY_PRECIS, 0, ANTIALIASED_QUALITY,
                VARIABLE_PITCH, u"MS Shell Dlg"};
  LaunchRecord record{};

  ShellRecord() {
    record.layoutTag = kLaunchRecordTag;
    record.registryRoot = 0x80000001;
    record.languageName = u"Deutsch";
    record.largeIcon = reinterpret_cast<HICON>(0x10);
    record.instance = reinterpret_cast<HINSTANCE>(0x20);
    record.displayName = u"Korvane Orbweave 9 \u00c4ra";
    record.menuCommand = MenuCommand;
    record.menuBuild = BuildMenu;
    record.featureMask48 = 0x3FFF0DFF;
    record.taskCode = kTaskDataDisc;
    record.helpTopics = &help;
    record.value76[7] = 104;
    record.reportContentType = u"say \"hi\"\t\\ \U0001F4BF";
    record.version = u"9.12";
    record.color184 = 0x513E2D;
    record.font = &font;
    record.supportEmail = u"support@example.com";
    record.idle = Idle;
    record.value236 = 2006;
    record.fullVersion = u"9.12.0.194 (2210)";
    record.appManager = &record;
  }
};

// Without a display or script, with the engine loaded and the log cleared.
class EngineTest : public testing_support::IsolatedTest {
 protected:
  void SetUp() override {
    SetEnv("ORBCORE_DUMP", dumpPath_);
    for (const char* name : {"ORBCORE_SCRIPT", "DISPLAY", "WAYLAND_DISPLAY"}) UnsetEnv(name);
    module_ = dlopen((testing_support::BuildBin() + "/liborbcore.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module_, nullptr) << dlerror();
    start_ = reinterpret_cast<StartIgnisProc>(dlsym(module_, "StartIgnis"));
    free_ = reinterpret_cast<FreeIgnisResultsProc>(dlsym(module_, "FreeIgnisResults"));
    mainWindow_ = reinterpret_cast<GetOWMainWindowProc>(dlsym(module_, "GetOWMainWindow"));
    ASSERT_TRUE(start_ && free_ && mainWindow_);
    g_log = CallbackLog{};
    g_log.dumpPath = dumpPath_;
    g_log.mainWindow = mainWindow_;
    g_idleCalls = 0;
  }

  void TearDown() override { if (module_ != nullptr) dlclose(module_); }

  // Runs the engine, with `script` when one is given; the results pointer it gave.
  void* Start(LaunchRecord& record, const char* script = nullptr) {
    if (script != nullptr) SetEnv("ORBCORE_SCRIPT", script);
    void* results = nullptr;
    start_(&record, &results);
    return results;
  }

  nlohmann::json ReadDump() const { return testing_support::ReadJson(dumpPath_); }

  std::string dumpPath_ = folder() / "dump.json";
  void* module_ = nullptr;
  StartIgnisProc start_ = nullptr;
  FreeIgnisResultsProc free_ = nullptr;
  GetOWMainWindowProc mainWindow_ = nullptr;
};

}  // namespace engine_test
