// Start-up time of the shell up to the engine's start call, without a display
// and without the splash, beside a trivial program that only starts the
// wxWidgets base library. Each iteration is a fresh process; the time runs
// from fork to the byte the program writes on reaching that point (the engine
// writes it on entering StartIgnis), and a second pair of benchmarks times
// the whole run to exit. A last benchmark runs the two programs in turn and
// reports the ratio of their median start-up times: on a shared machine the
// load changes from one block of runs to the next, and alternating puts the
// same load on both. A start's processor time varies by some 10% from run
// to run, so the ratio takes 300 starts of each program a repetition: with
// 60 the medians of repeated runs moved by 0.1.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "peers/orbcore/StartSignal.h"

namespace {

std::string ProgramFolder() {
  return std::filesystem::canonical("/proc/self/exe").parent_path().string();
}

const std::string& Scratch() {
  static const std::string folder = [] {
    std::string pattern = "/tmp/orbweave-bench-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    std::atexit([] { std::filesystem::remove_all(Scratch()); });
    return pattern;
  }();
  return folder;
}

// Processor time a running process has had so far, in seconds (the first
// field of /proc/<pid>/schedstat, in nanoseconds); 0 when unknown. Read
// after the start byte, it includes whatever the process did between its
// byte and the read, so it serves only a program that does not report its
// own time with the byte.
double ProcessorTime(pid_t pid) {
  std::FILE* file = std::fopen(("/proc/" + std::to_string(pid) + "/schedstat").c_str(), "r");
  if (file == nullptr) return 0;
  unsigned long long nanoseconds = 0;
  const bool read = std::fscanf(file, "%llu", &nanoseconds) == 1;
  std::fclose(file);
  return read ? static_cast<double>(nanoseconds) * 1e-9 : 0;
}

// Runs the program once; returns seconds until its start byte (or its exit),
// and in `cpu` (optional) the processor time it used until that byte.
double TimeOneRun(const std::string& program, bool untilExit, double* cpu = nullptr) {
  // The scratch folder is made here, once, and shared by every run: made in
  // the child it would be a new one, with new hives, each time.
  const std::string& scratch = Scratch();
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) std::abort();
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    const int writeEnd = dup(pipeFds[1]);  // without O_CLOEXEC, so it reaches the program
    setenv("ORBCORE_STARTED_FD", std::to_string(writeEnd).c_str(), 1);
    setenv("ORBCORE_SCRIPT", "result:success", 1);
    // Each program keeps hives of its own: an earlier build would otherwise
    // leave the files beside them as it does, not as this one does.
    const std::string hives = scratch + "/registry-" + std::to_string(std::hash<std::string>{}(program));
    setenv("ORBWEAVE_PREFIX", hives.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", scratch.c_str(), 1);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("ORBCORE_DUMP");
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipeFds[1]);
  // The start signal (peers/orbcore/StartSignal.h): one write, so one read
  // takes it whole.
  unsigned char message[orbcore::kStartSignalSize] = {};
  const ssize_t got = read(pipeFds[0], message, sizeof message);
  const bool signalled = got >= 1;
  auto end = std::chrono::steady_clock::now();
  if (cpu != nullptr) {
    if (got == static_cast<ssize_t>(sizeof message)) {
      unsigned long long nanoseconds = 0;
      for (int i = 7; i >= 0; --i) nanoseconds = nanoseconds << 8 | message[1 + i];
      *cpu = static_cast<double>(nanoseconds) * 1e-9;
    } else {
      *cpu = ProcessorTime(pid);
    }
  }
  close(pipeFds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (untilExit || !signalled) end = std::chrono::steady_clock::now();
  return std::chrono::duration<double>(end - start).count();
}

void Run(benchmark::State& state, const char* name, bool untilExit) {
  const std::string program = ProgramFolder() + "/" + name;
  for (auto _ : state) state.SetIterationTime(TimeOneRun(program, untilExit));
}

void BM_OrbweaveToStartIgnis(benchmark::State& state) { Run(state, "orbweave", false); }
void BM_TrivialWxBaseToStarted(benchmark::State& state) { Run(state, "trivial_wxbase", false); }
void BM_OrbweaveWholeRun(benchmark::State& state) { Run(state, "orbweave", true); }
void BM_TrivialWxBaseWholeRun(benchmark::State& state) { Run(state, "trivial_wxbase", true); }

double Median(std::vector<double> times) {
  std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
  return times[times.size() / 2];
}

// ORBWEAVE_STARTUP_BASELINE may name another build of the program (with its
// libraries beside it), which then takes its turn as well: a change is
// judged against the build before it under the same load.
void BM_OrbweaveOverTrivialWxBase(benchmark::State& state) {
  std::vector<std::string> programs = {ProgramFolder() + "/orbweave", ProgramFolder() + "/trivial_wxbase"};
  if (const char* baseline = std::getenv("ORBWEAVE_STARTUP_BASELINE")) programs.push_back(baseline);
  std::vector<std::vector<double>> times(programs.size()), cpu(programs.size());
  std::size_t round = 0;
  for (auto _ : state) {
    // Which program goes first turns too: a program finds the shared
    // libraries of the one before it warmer in the page cache.
    for (std::size_t k = 0; k < programs.size(); ++k) {
      const std::size_t i = (round + k) % programs.size();
      double seconds = 0;
      times[i].push_back(TimeOneRun(programs[i], false, &seconds));
      cpu[i].push_back(seconds);
    }
    ++round;
    state.SetIterationTime(times[0].back() + times[1].back());
  }
  if (round == 0) return;
  const double oursMedian = Median(times[0]), referenceMedian = Median(times[1]);
  state.counters["orbweave_ms"] = oursMedian * 1e3;
  state.counters["trivial_ms"] = referenceMedian * 1e3;
  state.counters["ratio"] = oursMedian / referenceMedian;
  // Processor time waits for no other process, so on a busy machine it
  // says more than the time on the clock. Each program reports its own time
  // at its byte.
  const double referenceCpu = Median(cpu[1]);
  if (referenceCpu > 0) state.counters["cpu_ratio"] = Median(cpu[0]) / referenceCpu;
  if (programs.size() > 2) {
    state.counters["baseline_ratio"] = Median(times[2]) / referenceMedian;
    if (referenceCpu > 0) state.counters["baseline_cpu_ratio"] = Median(cpu[2]) / referenceCpu;
  }
}

BENCHMARK(BM_OrbweaveToStartIgnis)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40)->Repetitions(3)->ReportAggregatesOnly();
BENCHMARK(BM_TrivialWxBaseToStarted)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40)->Repetitions(3)->ReportAggregatesOnly();
BENCHMARK(BM_OrbweaveWholeRun)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40)->Repetitions(3)->ReportAggregatesOnly();
BENCHMARK(BM_TrivialWxBaseWholeRun)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40)->Repetitions(3)->ReportAggregatesOnly();
BENCHMARK(BM_OrbweaveOverTrivialWxBase)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(300)->Repetitions(5)->ReportAggregatesOnly();

}  // namespace

BENCHMARK_MAIN();
