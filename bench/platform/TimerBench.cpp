// The system's window timer and its message loop.
//
// Jitter: a worker of 20 ms on the root manager for 10 s (ORBWEAVE_TIMER_SECONDS
// to change it) while a second thread keeps a core busy; each call's lateness
// against its schedule (start + n * 20 ms) is reported as a distribution:
// counts in buckets of lateness, the mean and the percentiles.
// Idle: the loop with 1,000 workers of mixed periods, and with none, for 5 s
// each; the process's processor time over that span, as a share of one core,
// shows that the loop sleeps in the kernel between ticks.
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/ITimeManager.h"
#include "platform/win32/System.h"

namespace {

using Clock = std::chrono::steady_clock;
using lumo::P;

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double Seconds(const char* variable, double fallback) {
  const char* text = std::getenv(variable);
  return text ? std::atof(text) : fallback;
}

// Calls `onWork` on every pass; wants `interval` ms.
class Worker : public lumo::CObject, public lumo::IWorker {
 public:
  Worker(std::uint32_t interval, std::function<void()> onWork) : interval(interval), onWork(std::move(onWork)) {}
  void Work() override {
    if (onWork) onWork();
  }
  std::uint64_t GetLastWorkTime() override { return 0; }
  std::uint32_t GetInterval() override { return interval; }
  void AddManager(lumo::IWorkerManager*) override {}
  bool RemoveManager(lumo::IWorkerManager*) override { return true; }

 private:
  std::uint32_t interval;
  std::function<void()> onWork;
};

void TimerJitter(benchmark::State& state) {
  constexpr int kPeriodMs = 20;
  const double seconds = Seconds("ORBWEAVE_TIMER_SECONDS", 10);
  for (auto _ : state) {
    const P<lumo::win32::CSystem> system = lumo::make<lumo::win32::CSystem>();
    std::atomic<bool> stop{false};
    std::thread busy([&] {
      volatile std::uint64_t spin = 0;
      while (!stop.load(std::memory_order_relaxed)) spin = spin + 1;
    });
    std::vector<Clock::time_point> calls;
    const Clock::time_point end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                     std::chrono::duration<double>(seconds));
    const P<Worker> worker = lumo::make<Worker>(kPeriodMs, [&] {
      calls.push_back(Clock::now());
      if (calls.back() >= end) system->RequestQuit();
    });
    // Adding the worker sets the timer to 20 ms and starts its period. The
    // schedule is counted from just before, so a tick on time never reads as
    // a whole period late; lateness is overstated by the microseconds the
    // call takes at most.
    const Clock::time_point scheduleStart = Clock::now();
    system->AddWorker(worker.get());
    system->RunMessageLoop();
    system->RemoveWorker(worker.get());
    stop = true;
    busy.join();

    // A tick is never early; a tick later than a whole period shows as a
    // missed one instead (the queue never holds two).
    std::vector<double> late;
    for (const Clock::time_point call : calls) {
      const double since = std::chrono::duration<double, std::milli>(call - scheduleStart).count();
      late.push_back(since - std::floor(since / kPeriodMs) * kPeriodMs);
    }
    std::sort(late.begin(), late.end());
    auto at = [&](double q) { return late.empty() ? 0.0 : late[static_cast<std::size_t>(q * (late.size() - 1))]; };
    double sum = 0, absolute = 0;
    for (double value : late) {
      sum += value;
      absolute += std::abs(value);
    }
    const double n = static_cast<double>(std::max<std::size_t>(late.size(), 1));
    state.counters["ticks"] = static_cast<double>(calls.size());
    state.counters["expected_ticks"] = seconds * 1000 / kPeriodMs;
    state.counters["mean_ms"] = sum / n;
    state.counters["mean_abs_ms"] = absolute / n;
    state.counters["p50_ms"] = at(0.5);
    state.counters["p90_ms"] = at(0.9);
    state.counters["p99_ms"] = at(0.99);
    state.counters["max_ms"] = at(1.0);
    const double edges[] = {0, 0.5, 1, 2, 5, 10, 20};
    std::printf("lateness of %zu ticks of %d ms:", late.size(), kPeriodMs);
    for (std::size_t b = 0; b + 1 < std::size(edges); ++b) {
      const auto count = std::count_if(late.begin(), late.end(),
                                       [&](double v) { return v >= edges[b] && v < edges[b + 1]; });
      std::printf(" [%g,%g) %ld", edges[b], edges[b + 1], static_cast<long>(count));
    }
    std::printf(" (ms); mean %.3f p50 %.3f p90 %.3f p99 %.3f max %.3f\n", sum / n, at(0.5), at(0.9), at(0.99),
                at(1.0));
  }
}
BENCHMARK(TimerJitter)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// state.range(0) workers with periods from 100 to 1,000 ms and every tenth
// of 50 ms; each checks whether its own period has passed, as real workers do.
void IdleLoop(benchmark::State& state) {
  const double seconds = Seconds("ORBWEAVE_IDLE_SECONDS", 5);
  for (auto _ : state) {
    const P<lumo::win32::CSystem> system = lumo::make<lumo::win32::CSystem>();
    const P<lumo::ITimeManager>& time = lumo::GetTimeManager();
    std::vector<P<Worker>> workers;
    std::vector<std::uint64_t> last(static_cast<std::size_t>(state.range(0)), 0);
    std::uint64_t due = 0;
    for (std::int64_t i = 0; i < state.range(0); ++i) {
      const std::uint32_t period = i % 10 == 0 ? 50 : static_cast<std::uint32_t>(100 * (1 + i % 10));
      workers.push_back(lumo::make<Worker>(period, [&, i, period] {
        const std::uint64_t now = time->GetTickCount();
        if (now - last[static_cast<std::size_t>(i)] >= period) {
          last[static_cast<std::size_t>(i)] = now;
          ++due;
        }
      }));
      system->AddWorker(workers.back().get());
    }
    std::thread quitter([&] {
      std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
      system->RequestQuit();
    });
    const double cpuBefore = ProcessCpuSeconds();
    const Clock::time_point start = Clock::now();
    system->RunMessageLoop();
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    quitter.join();
    state.counters["timer_ms"] = system->GetTimerInterval();
    for (const P<Worker>& worker : workers) system->RemoveWorker(worker.get());
    state.counters["cpu_share_pct"] = 100 * cpu / wall;
    state.counters["worker_passes_due"] = static_cast<double>(due);
  }
}
BENCHMARK(IdleLoop)->Arg(0)->Arg(1000)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
