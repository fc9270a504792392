// The engine's tasks run from what the launch record gave: which tasks run,
// where they write, and the run itself.
#pragma once

#include <string>
#include <vector>

#include "peers/orbcore/DataDisc.h"
#include "peers/orbcore/EngineView.h"
#include "peers/orbcore/Task.h"

namespace orbcore {

// The items of a data disc list as files and folders to put on the disc;
// a path that names nothing on this machine fails with its name.
TaskOutcome DataSources(const std::vector<InputRow>& rows, std::vector<DataSource>& sources);

TaskOutcome RunTask(const EngineView& view, const TaskPlaces& places, TaskObserver& observer);

}  // namespace orbcore
