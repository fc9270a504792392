// The reader of files the program did not choose.
#include "compat/win32/ConfigFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace compat::win32 {

std::optional<std::string> ReadConfigFile(const std::string& path, std::size_t limit) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> text;
  struct stat st;
  // The kernel's files say size 0 and are read to their end like the rest.
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<std::size_t>(st.st_size) <= limit) {
    text.emplace();
    char buffer[4096];
    for (;;) {
      const ssize_t n = read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 || text->size() + static_cast<std::size_t>(n) > limit) {
        text.reset();
        break;
      }
      if (n == 0) break;
      text->append(buffer, static_cast<std::size_t>(n));
    }
  }
  close(fd);
  return text;
}

}  // namespace compat::win32
