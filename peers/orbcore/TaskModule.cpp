// The task module's export (liborbcore_tasks.so), called by the engine for
// each task it runs.
#include <type_traits>

#include "peers/orbcore/EngineModules.h"
#include "peers/orbcore/Tasks.h"

extern "C" __attribute__((visibility("default"))) void OrbcoreRunTask(const orbcore::EngineView* view,
                                                                      const orbcore::TaskPlaces* places,
                                                                      orbcore::TaskObserver* observer,
                                                                      orbcore::TaskOutcome* outcome) {
  *outcome = orbcore::RunTask(*view, *places, *observer);
}

static_assert(std::is_same_v<decltype(&OrbcoreRunTask), orbcore::RunTaskProc>);
