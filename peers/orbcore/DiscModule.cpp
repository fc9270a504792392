// The disc module, liborbcore_disc.so: the engine's tasks with the disc
// libraries they need, loaded by the engine when a task starts.
#include <type_traits>

#include "peers/orbcore/EngineView.h"
#include "peers/orbcore/Tasks.h"

extern "C" __attribute__((visibility("default"))) void OrbcoreRunDiscTask(const orbcore::EngineView* view,
                                                                          const orbcore::TaskPlaces* places,
                                                                          orbcore::TaskObserver* observer,
                                                                          orbcore::TaskOutcome* outcome) {
  *outcome = orbcore::RunTask(*view, *places, *observer);
}

// The export's type is the one the engine looks it up as.
static_assert(std::is_same_v<decltype(&OrbcoreRunDiscTask), orbcore::RunDiscTaskProc>);
