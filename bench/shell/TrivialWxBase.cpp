// The yardstick for start-up time: a program that links only the wxWidgets
// base library, starts it, says so and ends. It says so as the engine does:
// one byte, then the processor time used so far in nanoseconds (eight
// bytes, least significant first).
#include <time.h>
#include <unistd.h>
#include <wx/init.h>

#include <cstdint>
#include <cstdlib>

int main() {
  int argc = 0;
  wxEntryStart(argc, static_cast<wxChar**>(nullptr));
  if (const char* fd = std::getenv("ORBCORE_STARTED_FD")) {
    timespec used{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
    const std::uint64_t nanoseconds =
        static_cast<std::uint64_t>(used.tv_sec) * 1000000000u + static_cast<std::uint64_t>(used.tv_nsec);
    unsigned char message[9] = {1};
    for (int i = 0; i < 8; ++i) message[1 + i] = static_cast<unsigned char>(nanoseconds >> (8 * i));
    if (write(std::atoi(fd), message, sizeof message) != sizeof message) return 1;
  }
  wxEntryCleanup();
  return 0;
}
