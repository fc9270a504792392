// The engine's exports. StartIgnis runs one session: with ORBCORE_SCRIPT the
// script's steps, with a display the main window (liborbcore_wx.so), else a
// console summary; tasks run in the disc module (liborbcore_disc.so). ORBCORE_DUMP names a file that shows what it received.
#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

#include "compat/win32/Path.h"
#include "compat/win32/StringConv.h"
#include "peers/orbcore/ConsoleRun.h"
#include "peers/orbcore/ConsoleSummary.h"
#include "peers/orbcore/Drives.h"
#include "peers/orbcore/EngineTexts.h"
#include "peers/orbcore/EngineMenu.h"
#include "peers/orbcore/EngineView.h"
#include "peers/orbcore/IgnisLaunch.h"
#include "peers/orbcore/StartSignal.h"
#include "peers/orbcore/Json.h"
#include "peers/orbcore/PackTexts.h"
#include "peers/orbcore/RecordDump.h"
#include "peers/orbcore/RecordText.h"
#include "peers/orbcore/Script.h"

#define ORBCORE_EXPORT __attribute__((visibility("default")))

extern "C" {
ORBCORE_EXPORT void WINAPI StartIgnis(LaunchRecord* record, void** results);
ORBCORE_EXPORT void WINAPI FreeIgnisResults(void* results);
ORBCORE_EXPORT HWND WINAPI GetOWMainWindow();
}

namespace orbcore {

namespace {

// What StartIgnis hands back: the first 32 bits say whether the run succeeded.
// Where the shell keeps its settings, when the record does not say.
constexpr const char kDefaultSettingsKey[] = "SOFTWARE\\korvane\\Korvane Orbweave 9";

struct IgnisResults {
  std::uint32_t succeeded;
};

const char* Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

// Written beside the target and renamed over it, so a reader sees the old
// file or the new one, never half of one.
void WriteFileAtomically(const std::string& path, const std::string& content) {
  const std::string part = path + ".part";
  {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    out << content << '\n';
    if (!out.flush()) {
      std::cerr << "orbcore: cannot write " << part << '\n';
      return;
    }
  }
  std::error_code error;
  std::filesystem::rename(part, path, error);
  if (error) {
    std::cerr << "orbcore: cannot write " << path << ": " << error.message() << '\n';
    std::filesystem::remove(part, error);
  }
}

// The dump document lives from one StartIgnis to the next, so that
// FreeIgnisResults can add to what StartIgnis wrote.
struct DumpState {
  JsonValue doc = JsonValue::Object();
  std::uint32_t freeCalls = 0;

  void Write() const {
    if (const char* path = Env("ORBCORE_DUMP")) WriteFileAtomically(path, doc.Serialize());
  }
};

DumpState& Dump() {
  static DumpState state;
  return state;
}

std::atomic<HWND>& MainWindow() {
  static std::atomic<HWND> window{nullptr};
  return window;
}

// An export of a module beside this library, loaded on first use; the
// module stays loaded, as the libraries it pulls in cannot all be unloaded.
void* SiblingExport(const char* fileName, const char* exportName) {
  Dl_info self{};
  if (dladdr(reinterpret_cast<void*>(&StartIgnis), &self) == 0 || self.dli_fname == nullptr) return nullptr;
  const std::filesystem::path file = std::filesystem::path(self.dli_fname).parent_path() / fileName;
  void* module = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    std::cerr << "orbcore: " << dlerror() << '\n';
    return nullptr;
  }
  return dlsym(module, exportName);
}

// The window and its GUI libraries are loaded only when there is a display.
ShowEngineWindowProc WindowModule() {
  static ShowEngineWindowProc show =
      reinterpret_cast<ShowEngineWindowProc>(SiblingExport("liborbcore_wx.so", kShowEngineWindowExport));
  return show;
}

// The disc libraries are loaded only when a task writes or reads a disc or
// an image: a run that shows the window or a summary, and the program's
// start up to this library, never pay for them.
TaskOutcome RunTask(const EngineView& view, const TaskPlaces& places, TaskObserver& observer) {
  static constexpr const char kDiscModule[] = "liborbcore_disc.so";
  static RunDiscTaskProc run = reinterpret_cast<RunDiscTaskProc>(SiblingExport(kDiscModule, kRunDiscTaskExport));
  // The loader's reason is on standard error already; the user reads which part is missing.
  if (run == nullptr) return {Failure::DiscModuleMissing, kDiscModule, ""};
  TaskOutcome outcome;
  run(&view, &places, &observer, &outcome);
  return outcome;
}

// ORBCORE_STARTED_FD names a descriptor that gets the start signal
// (StartSignal.h) the moment the engine is entered, so a benchmark can time
// the shell's start-up to here.
void SignalStarted() {
  const char* text = Env("ORBCORE_STARTED_FD");
  int fd = -1;
  if (text == nullptr ||
      std::from_chars(text, text + std::char_traits<char>::length(text), fd).ec != std::errc() || fd < 0) {
    return;
  }
  if (!SendStartSignal(fd)) std::cerr << "orbcore: cannot signal the start\n";
  close(fd);
}

class Session {
 public:
  explicit Session(LaunchRecord& record) : record_(record), form_(DetectTextForm()) {
    MainWindow().store(reinterpret_cast<HWND>(this));
    // The engine's texts in the language the shell chose; English without a pack.
    if (const std::optional<std::string> pack = DecodeText(record.languagePackPath, form_)) {
      if (const std::optional<std::string> path = compat::win32::PosixPath(compat::win32::Utf8ToUtf16(*pack))) {
        LoadPackTexts(*path, texts_);
      }
    }
  }

  ~Session() {
    if (bar_ != nullptr) DestroyMenu(bar_);
    MainWindow().store(nullptr);
  }

  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Shows the engine is running: the record as received, no result yet.
  void WriteEntryDump() {
    DumpState& dump = Dump();
    dump.freeCalls = 0;
    dump.doc = JsonValue::Object();
    // Only a dump file reads the record's copy; a long task list costs its
    // size again.
    if (Env("ORBCORE_DUMP") != nullptr) dump.doc.Set("record", DumpRecord(record_, form_));
    dump.doc.Set("textForm", TextFormName(form_));
    UpdateDump();
    dump.Write();
  }

  void WriteFinalDump(RunResult result) {
    UpdateDump();
    Dump().doc.Set("window", windowShown_ ? "shown" : "none");
    Dump().doc.Set("result", RunResultName(result));
    Dump().Write();
  }

  RunResult Run() {
    if (const char* script = std::getenv("ORBCORE_SCRIPT")) return RunScript(script);
    if (Env("DISPLAY") != nullptr || Env("WAYLAND_DISPLAY") != nullptr) {
      if (ShowEngineWindowProc show = WindowModule()) {
        EngineView view = MakeView();
        view.closeAfterMs = CloseAfter();
        view.command = [this](std::uint32_t id) { return Command(id); };
        view.idle = [this] {
          if (record_.idle != nullptr) record_.idle(0);
        };
        // The record's task, or without one a start page of tasks to choose.
        view.prepare = [this](EngineView& task) {
          task.places = Places(task);
          task.drives = RecordedDrives(SettingsKey());
        };
        if (IsWritingTask(view)) {
          view.prepare(view);
          view.autostart = Env("ORBCORE_AUTOSTART") != nullptr && std::string_view(Env("ORBCORE_AUTOSTART")) == "1";
        }
        view.run = [this](const EngineView& task, const TaskPlaces& places, TaskObserver& observer) {
          TaskOutcome outcome = RunTask(task, places, observer);
          windowTaskFailed_ = !outcome.Succeeded();
          return outcome;
        };
        if (show(&view) == kWindowClosed) {
          windowShown_ = true;
          return windowTaskFailed_ ? RunResult::Failure : RunResult::Success;
        }
        std::cerr << "orbcore: the application cannot show windows; printing a summary instead\n";
        PrintConsoleSummary(MakeView(), std::cout);
        return RunResult::Success;
      }
    }
    EngineView view = MakeView();
    if (IsWritingTask(view)) return RunWithoutWindow(view);
    PrintConsoleSummary(view, std::cout);
    return RunResult::Success;
  }

 private:
  void UpdateDump() {
    DumpState& dump = Dump();
    dump.doc.Set("steps", steps_);
    dump.doc.Set("menuBar", bar_ != nullptr ? MenuToJson(ReadMenu(bar_)) : JsonValue());
    dump.doc.Set("freeCalls", dump.freeCalls);
  }

  // The view with the menu bar built, as the window and the summary show it.
  EngineView MakeView() {
    EngineView view = MakeEngineView(record_, form_);
    view.texts = &texts_;
    if (bar_ == nullptr) Build("build");
    view.menuBar = ReadMenu(bar_);
    return view;
  }

  // The task to its end: ORBCORE_TARGET names an image file to write instead
  // of a disc (a folder for a rip), ORBCORE_SOURCE an image to read instead
  // of a disc.
  RunResult RunWithoutWindow(const EngineView& view) {
    const TaskPlaces places = Places(view);
    TaskOutcome outcome;
    {
      ConsoleObserver observer(std::cerr, isatty(STDERR_FILENO) == 1, texts_);
      outcome = RunTask(view, places, observer);
    }
    if (outcome.Succeeded()) return RunResult::Success;
    std::cerr << "orbcore: " << FailureMessage(outcome, texts_);
    if (!outcome.detail.empty()) std::cerr << " (" << outcome.detail << ')';
    std::cerr << '\n';
    return RunResult::Failure;
  }

  std::string SettingsKey() const { return DecodeText(record_.settingsKey, form_).value_or(kDefaultSettingsKey); }

  // ORBCORE_TARGET and ORBCORE_SOURCE name image files (a rip's target is a
  // folder) that stand in for the drive, which -selectdrive chooses.
  TaskPlaces Places(const EngineView& view) const {
    TaskPlaces places;
    if (const char* target = Env("ORBCORE_TARGET")) places.target = target;
    if (const char* source = Env("ORBCORE_SOURCE")) places.source = source;
    places.drive = ChosenDrive(SettingsKey(), view.drive).value_or("");
    places.newDisc = Env("ORBCORE_NEW_DISC") != nullptr && std::string_view(Env("ORBCORE_NEW_DISC")) == "1";
    return places;
  }

  static unsigned CloseAfter() {
    const char* text = Env("ORBCORE_CLOSE_AFTER");
    unsigned ms = 0;
    if (text != nullptr) std::from_chars(text, text + std::char_traits<char>::length(text), ms);
    return ms;
  }

  RunResult RunScript(std::string_view script) {
    RunResult result = RunResult::Success;
    for (const std::string& text : SplitScript(script)) {
      const std::optional<ScriptStep> step = ParseStep(text);
      if (!step) {
        std::cerr << "orbcore: unknown script step '" << text << "'\n";
        steps_.Push(JsonValue::Object().Set("name", text).Set("error", "unknown step"));
        return RunResult::Failure;
      }
      switch (step->kind) {
        case ScriptStep::Kind::Build: Build(text); break;
        case ScriptStep::Kind::Command: Command(step->value); break;
        case ScriptStep::Kind::Idle: {
          if (record_.idle != nullptr) record_.idle(0);
          steps_.Push(CallbackStep(text, record_.idle != nullptr, JsonValue()));
          break;
        }
        case ScriptStep::Kind::Wait:
          std::this_thread::sleep_for(std::chrono::milliseconds(step->value));
          steps_.Push(JsonValue::Object().Set("name", text));
          break;
        case ScriptStep::Kind::Result:
          result = step->result;
          steps_.Push(JsonValue::Object().Set("name", text));
          break;
      }
      // The shell's quit message ends the session as closing the window would.
      if (ShellAskedToQuit()) {
        steps_.Push(JsonValue::Object().Set("name", "quit"));
        break;
      }
    }
    return result;
  }

  static JsonValue CallbackStep(const std::string& name, bool called, JsonValue returned) {
    return JsonValue::Object().Set("name", name).Set("called", called).Set("returned", std::move(returned));
  }

  // A fresh engine bar, handed to the shell to add its entries.
  void Build(const std::string& name) {
    if (bar_ != nullptr) DestroyMenu(bar_);
    bar_ = CreateEngineMenuBar(DecodeText(record_.displayName, form_).value_or(""), texts_);
    if (record_.menuBuild != nullptr) record_.menuBuild(bar_);
    steps_.Push(CallbackStep(name, record_.menuBuild != nullptr, JsonValue()));
  }

  std::uint32_t Command(std::uint32_t id) {
    const std::string name = "command:" + std::to_string(id);
    if (record_.menuCommand == nullptr) {
      steps_.Push(CallbackStep(name, false, JsonValue()));
      return 0;
    }
    const std::uint32_t returned = record_.menuCommand(id, 0);
    steps_.Push(CallbackStep(name, true, returned));
    return returned;
  }

  LaunchRecord& record_;
  TextForm form_;
  HMENU bar_ = nullptr;
  JsonValue steps_ = JsonValue::Array();
  bool windowShown_ = false;
  bool windowTaskFailed_ = false;
  EngineTexts texts_;
};

}  // namespace

}  // namespace orbcore

void WINAPI StartIgnis(LaunchRecord* record, void** results) {
  using namespace orbcore;
  SignalStarted();
  RunResult result = RunResult::Failure;
  if (record == nullptr) {
    std::cerr << "orbcore: started without a launch record\n";
    Dump() = DumpState{};
    Dump().doc.Set("record", JsonValue()).Set("result", RunResultName(result));
    Dump().Write();
  } else {
    try {
      Session session(*record);
      session.WriteEntryDump();
      result = session.Run();
      session.WriteFinalDump(result);
    } catch (const std::exception& error) {
      std::cerr << "orbcore: " << error.what() << '\n';
      result = RunResult::Failure;
      Dump().doc.Set("result", RunResultName(result));
      Dump().Write();
    }
  }
  if (results != nullptr && result != RunResult::Null) {
    *results = new IgnisResults{result == RunResult::Success ? 1u : 0u};
  }
}

void WINAPI FreeIgnisResults(void* results) {
  using namespace orbcore;
  delete static_cast<IgnisResults*>(results);
  DumpState& dump = Dump();
  ++dump.freeCalls;
  dump.doc.Set("freeCalls", dump.freeCalls);
  dump.doc.Set("freedNull", results == nullptr);
  dump.Write();
}

HWND WINAPI GetOWMainWindow() { return orbcore::MainWindow().load(); }
