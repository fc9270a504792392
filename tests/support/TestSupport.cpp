// Test helpers over POSIX.
#include "tests/support/TestSupport.h"

#include <fcntl.h>
#include <nlohmann/json.hpp>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace testing_support {
namespace {

std::string TempRoot() {
  const char* tmp = std::getenv("TMPDIR");
  return (tmp != nullptr && *tmp != '\0') ? tmp : "/tmp";
}

// fork + exec with the environment changes and output sent to two files.
int Spawn(const ProgramRun& run, const std::string& outPath, const std::string& errPath) {
  std::vector<std::string> argv{run.program};
  argv.insert(argv.end(), run.args.begin(), run.args.end());
  std::vector<char*> args;
  for (std::string& arg : argv) args.push_back(arg.data());
  args.push_back(nullptr);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    for (const std::string& name : run.unsetEnv) unsetenv(name.c_str());
    for (const auto& [name, value] : run.env) setenv(name.c_str(), value.c_str(), 1);
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    execv(run.program.c_str(), args.data());
    _exit(127);
  }
  return pid;
}

ProcessResult Collect(int pid, std::chrono::milliseconds timeout, const std::string& outPath,
                      const std::string& errPath) {
  ProcessResult result;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  int status = 0;
  for (;;) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  result.out = ReadFile(outPath);
  result.err = ReadFile(errPath);
  std::remove(outPath.c_str());
  std::remove(errPath.c_str());
  return result;
}

std::string SetByCtest(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) throw std::runtime_error(std::string(name) + " is not set: run the tests with ctest");
  return value;
}

std::string OutputPath(const char* kind) {
  static int counter = 0;
  return TempRoot() + "/orbweave-test-" + std::to_string(getpid()) + "-" + std::to_string(++counter) +
         "." + kind;
}

}  // namespace

int Reap(pid_t child) {
  int status = 0;
  if (child <= 0 || waitpid(child, &status, 0) != child) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TempFolder::TempFolder() {
  std::string pattern = TempRoot() + "/orbweave-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempFolder::~TempFolder() {
  namespace fs = std::filesystem;
  std::error_code ignored;
  // Read-only folders made by tests must not keep their contents.
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  for (fs::recursive_directory_iterator it(path_, ignored), end; it != end; it.increment(ignored))
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

ProcessResult Run(const ProgramRun& run) { return BackgroundProgram(run).Wait(); }

BackgroundProgram::BackgroundProgram(const ProgramRun& run)
    : outPath_(OutputPath("out")), errPath_(OutputPath("err")), timeout_(run.timeout) {
  pid_ = Spawn(run, outPath_, errPath_);
}

BackgroundProgram::~BackgroundProgram() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    Collect(pid_, std::chrono::milliseconds(5000), outPath_, errPath_);
  }
}

ProcessResult BackgroundProgram::Wait() {
  ProcessResult result = Collect(pid_, timeout_, outPath_, errPath_);
  pid_ = -1;
  return result;
}

std::string BuildBin() { return SetByCtest("ORBWEAVE_BUILD_BIN"); }
std::string SourceDir() { return SetByCtest("ORBWEAVE_SOURCE_DIR"); }

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

std::ptrdiff_t OpenFileCount() {
  return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), std::filesystem::directory_iterator());
}

bool FileExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

std::string Utf16Bytes(const std::u16string& text, bool bigEndian, bool withBom) {
  std::u16string units = withBom ? u"\uFEFF" + text : text;
  std::string bytes;
  for (char16_t unit : units) {
    const char low = static_cast<char>(unit & 0xFF);
    const char high = static_cast<char>(unit >> 8);
    bytes += bigEndian ? high : low;
    bytes += bigEndian ? low : high;
  }
  return bytes;
}

nlohmann::json ReadJson(const std::string& path) {
  if (!FileExists(path)) throw std::runtime_error("cannot open " + path);
  return nlohmann::json::parse(ReadFile(path));
}

bool WaitForFile(const std::string& path, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (FileExists(path)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return FileExists(path);
}

}  // namespace testing_support
