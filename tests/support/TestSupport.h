// Helpers shared by tests: temporary folders, running a program and
// capturing what it printed, UTF-16 test files.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>
#include <unistd.h>

namespace testing_support {

// A fresh folder below $TMPDIR (or /tmp), removed with everything in it.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

struct ProcessResult {
  int exitCode = -1;     // -1 when killed by a signal or timed out
  int signal = 0;
  std::string out, err;
};

struct ProgramRun {
  std::string program;
  std::vector<std::string> args;
  // Variables set for the program; the names in unsetEnv are removed first.
  std::map<std::string, std::string> env;
  std::vector<std::string> unsetEnv;
  std::chrono::milliseconds timeout{30000};
};

ProcessResult Run(const ProgramRun& run);

// Runs `body` in a forked child process, which ends with the code `body` answers.
template <class Body>
pid_t ForkChild(Body body) {
  const pid_t child = fork();
  if (child == 0) _exit(body());
  return child;
}
// How a child ended: its exit code, or 128 plus the signal that ended it; -1 when it cannot be waited for.
int Reap(pid_t child);

// Starts a program in the background; Wait collects it.
class BackgroundProgram {
 public:
  explicit BackgroundProgram(const ProgramRun& run);
  ~BackgroundProgram();
  ProcessResult Wait();
  int pid() const { return pid_; }

 private:
  int pid_ = -1;
  std::string outPath_, errPath_;
  std::chrono::milliseconds timeout_;
};

// The folder of the built programs (ORBWEAVE_BUILD_BIN).
std::string BuildBin();
std::string SourceDir();

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);
// How many files this process has open (its entries in /proc/self/fd).
std::ptrdiff_t OpenFileCount();
// UTF-16 text with or without byte order mark, in either byte order.
std::string Utf16Bytes(const std::u16string& text, bool bigEndian, bool withBom);
// A JSON file a program wrote; throws when it is missing or malformed.
nlohmann::json ReadJson(const std::string& path);
// Polls until `path` exists or the time is up.
bool WaitForFile(const std::string& path, std::chrono::milliseconds timeout);

}  // namespace testing_support
