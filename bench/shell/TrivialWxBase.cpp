// The yardstick for start-up time: a program that links only the wxWidgets
// base library, starts it, says so as the engine does and ends.
#include <wx/init.h>

#include <cstdlib>

#include "peers/orbcore/StartSignal.h"

int main() {
  int argc = 0;
  wxEntryStart(argc, static_cast<wxChar**>(nullptr));
  if (const char* fd = std::getenv("ORBCORE_STARTED_FD")) {
    if (!orbcore::SendStartSignal(std::atoi(fd))) return 1;
  }
  wxEntryCleanup();
  return 0;
}
