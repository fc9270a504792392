// The start signal a benchmark asks for with ORBCORE_STARTED_FD: one byte the
// moment a program reaches its start, then the processor time it has used
// until then, in nanoseconds (eight bytes, least significant first). Read
// from outside, the time would already include what the program did after
// the byte. The engine sends it on entering StartIgnis; the benchmark's
// reference program sends it too.
#pragma once

#include <time.h>
#include <unistd.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace orbcore {

inline constexpr std::size_t kStartSignalSize = 9;

// True when all nine bytes went out.
inline bool SendStartSignal(int fd) {
  timespec used{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
  const std::uint64_t nanoseconds =
      static_cast<std::uint64_t>(used.tv_sec) * 1000000000u + static_cast<std::uint64_t>(used.tv_nsec);
  // The programs run on little-endian x86-64 only, where the value's own
  // bytes are already in the signal's order.
  static_assert(std::endian::native == std::endian::little);
  unsigned char message[kStartSignalSize] = {1};
  std::memcpy(message + 1, &nanoseconds, sizeof nanoseconds);
  return write(fd, message, sizeof message) == static_cast<ssize_t>(sizeof message);
}

}  // namespace orbcore
