// The test's own X server.
#include "tests/support/VirtualDisplay.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "tests/support/TestSupport.h"

namespace testing_support {

VirtualDisplay::VirtualDisplay() {
  if (access("/usr/bin/Xvfb", X_OK) != 0) return;
  int fds[2];
  if (pipe(fds) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    // The server goes with the test, however the test ends.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    close(fds[0]);
    const std::string fd = std::to_string(fds[1]);
    // -displayfd: the server picks a free display number and writes it here.
    // -noreset: a server whose last client left resets itself and refuses
    // connections meanwhile, which a program that probes the display before
    // opening its windows would run into.
    execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-noreset", "-screen", "0", "1024x768x24",
          "-nolisten", "tcp", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  // The number, or end of file when the server could not start.
  if (FILE* pipeEnd = fdopen(fds[0], "r")) {
    int number = 0;
    if (std::fscanf(pipeEnd, "%d", &number) == 1) name_ = ":" + std::to_string(number);
    std::fclose(pipeEnd);
  }
}

VirtualDisplay::~VirtualDisplay() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
}

void VirtualDisplay::Kill() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

bool VirtualDisplay::Screenshot(const std::string& pngPath) const {
  if (name_.empty()) return false;
  ProgramRun grab;
  grab.program = "/usr/bin/import";
  grab.args = {"-display", name_, "-window", "root", pngPath};
  return Run(grab).exitCode == 0;
}

}  // namespace testing_support
