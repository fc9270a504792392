// What the engine shows, decoded once from the launch record: the console
// summary prints it and the window module (liborbcore_wx.so) draws it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "peers/orbcore/AboutMarkup.h"
#include "peers/orbcore/Drives.h"
#include "peers/orbcore/EngineMenu.h"
#include "peers/orbcore/EngineTexts.h"
#include "peers/orbcore/IgnisLaunch.h"
#include "peers/orbcore/RecordText.h"
#include "peers/orbcore/Task.h"

namespace orbcore {

struct InputRow {
  std::string kind;    // "track", "file", "folder" or "project"
  std::string path;
  std::string target;  // where a data disc item goes on the disc; else empty
};

struct HelpTopic {
  std::uint32_t context = 0;
  std::string topic;
};

struct EngineView {
  std::string productName;
  std::string version;      // the "Version" setting
  std::string fullVersion;  // e.g. "9.12.0.194 (2210)"
  std::string edition;
  std::string language;
  TextForm textForm = TextForm::Wide;
  std::uint32_t taskCode = 0;
  std::uint32_t startMode = 0;
  std::vector<InputRow> input;
  std::optional<std::string> drive;
  std::string helpFile;
  std::vector<HelpTopic> helpTopics;
  std::vector<AboutParagraph> about;
  HICON largeIcon = nullptr;
  HICON smallIcon = nullptr;
  // Colours of the record as 0x00BBGGRR: the banner and its text.
  std::uint32_t bannerColor = 0x513E2D;
  std::uint32_t bannerTextColor = 0xFFFFFF;

  // Filled by the engine before the window opens.
  std::vector<MenuEntry> menuBar;
  unsigned closeAfterMs = 0;  // 0: stay open until the user closes
  std::function<std::uint32_t(std::uint32_t)> command;  // a shell command picked
  std::function<void()> idle;                           // the event loop is idle

  // For the window's tasks: its texts, where a task writes to start with,
  // the drives to choose from, whether the record's task starts at once,
  // and the run of a task (called on a thread of the window's own with the
  // task as the window made it: the record's, or one the user chose).
  const EngineTexts* texts = nullptr;
  TaskPlaces places;
  std::vector<RecordedDrive> drives;
  bool autostart = false;
  std::function<TaskOutcome(const EngineView&, const TaskPlaces&, TaskObserver&)> run;
  // Fills a task's places and drives: done for the record's task before the
  // window opens, for a task chosen on the start page when it is chosen, so
  // a start page alone never scans the drives.
  std::function<void(EngineView&)> prepare;

  // The main window's title: product name and version.
  std::string Title() const;
};

EngineView MakeEngineView(const LaunchRecord& record, TextForm form);

// Whether the view's task is one the engine writes (it has a list).
bool IsWritingTask(const EngineView& view);

// The view for the task `taskCode` chosen in the window, without input: a
// data disc or audio CD gets its list there.
EngineView ChosenTaskView(const EngineView& view, std::uint32_t taskCode);

// The window module's one export: runs the main window until it closes.
using ShowEngineWindowProc = int (*)(const EngineView* view);
inline constexpr const char kShowEngineWindowExport[] = "OrbcoreShowEngineWindow";
// The disc module's one export: runs a task to its end and puts how it
// ended in `outcome`. The module holds the disc libraries, so a run that
// writes nothing never loads them.
using RunDiscTaskProc = void (*)(const EngineView* view, const TaskPlaces* places, TaskObserver* observer,
                                 TaskOutcome* outcome);
inline constexpr const char kRunDiscTaskExport[] = "OrbcoreRunDiscTask";

enum : int {
  kWindowClosed = 0,  // the window ran and the user closed it
  kWindowNoGui = 1,   // the process's wx application cannot show windows
};

}  // namespace orbcore
