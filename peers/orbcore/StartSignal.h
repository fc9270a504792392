// The start signal a benchmark asks for with ORBCORE_STARTED_FD: one byte the
// moment a program reaches its start, then the processor time it has used
// until then, in nanoseconds (eight bytes, least significant first). Read
// from outside, the time would already include what the program did after
// the byte. The engine sends it on entering StartIgnis; the benchmark's
// reference program sends it too.
#pragma once

#include <time.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

namespace orbcore {

inline constexpr std::size_t kStartSignalSize = 9;

// True when all nine bytes went out.
inline bool SendStartSignal(int fd) {
  timespec used{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
  const std::uint64_t nanoseconds =
      static_cast<std::uint64_t>(used.tv_sec) * 1000000000u + static_cast<std::uint64_t>(used.tv_nsec);
  unsigned char message[kStartSignalSize] = {1};
  for (std::size_t i = 0; i < 8; ++i) message[1 + i] = static_cast<unsigned char>(nanoseconds >> (8 * i));
  return write(fd, message, sizeof message) == static_cast<ssize_t>(sizeof message);
}

}  // namespace orbcore
