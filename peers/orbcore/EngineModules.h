// The engine's two modules, each loaded from the engine's own folder the
// first time it is needed and kept loaded: the window (liborbcore_wx.so),
// and the tasks (liborbcore_tasks.so), which hold all the code that needs
// the disc and audio libraries, so a start that runs no task maps none of
// them.
#pragma once

#include "peers/orbcore/EngineView.h"
#include "peers/orbcore/Task.h"

namespace orbcore {

// The task module's one export: runs the view's task to its end.
using RunTaskProc = void (*)(const EngineView* view, const TaskPlaces* places, TaskObserver* observer,
                             TaskOutcome* outcome);
inline constexpr const char kRunTaskExport[] = "OrbcoreRunTask";
inline constexpr const char kTaskModuleFile[] = "liborbcore_tasks.so";

// The window module's entry; null, said on standard error, when it does not load.
ShowEngineWindowProc WindowModule();

// The task, run by the task module. When the module cannot be loaded the
// task fails with TaskModuleMissing, naming the module's file.
TaskOutcome RunTaskInModule(const EngineView& view, const TaskPlaces& places, TaskObserver& observer);

}  // namespace orbcore
