// Our way of doing a job and a reference way, timed in turns inside one
// benchmark so that both meet the same load, reported as the ratio of their
// processor times: the figure the speed aims are stated in.
//
//   void BM_Compare_OverICU(benchmark::State& state) {
//     RunPaired(state, 100, [&] { ... ours ... }, [&] { ... theirs ... });
//   }  // counters: ratio, ours_ns, theirs_ns (per call)
//
// Each iteration runs one side `batch` times and then the other, the order
// turning every iteration (the second side finds the caches the first one
// left). Times are the thread's processor time, which no other process
// stretches; a batch is long enough that reading the clock does not count.
#pragma once

#include <benchmark/benchmark.h>
#include <time.h>

#include <cstdint>

namespace bench {

inline double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// As RunPaired, with a clock of each side's own: `oursClock()` and
// `theirsClock()` give seconds of processor time (a reference run as a
// program of its own is timed on its ended children's clock).
template <class Ours, class Theirs, class OursClock, class TheirsClock>
void RunPairedOnClocks(benchmark::State& state, std::int64_t batch, Ours ours, Theirs theirs, OursClock oursClock,
                       TheirsClock theirsClock) {
  double seconds[2] = {0, 0};
  const auto timed = [&](int side) {
    const double start = side == 0 ? oursClock() : theirsClock();
    for (std::int64_t i = 0; i < batch; ++i) side == 0 ? ours() : theirs();
    seconds[side] += (side == 0 ? oursClock() : theirsClock()) - start;
  };
  std::int64_t round = 0;
  for (auto _ : state) {
    timed(round % 2);
    timed(1 - round % 2);
    ++round;
  }
  if (round == 0 || seconds[1] <= 0) return;
  const double calls = static_cast<double>(round * batch);
  state.counters["ours_ns"] = seconds[0] / calls * 1e9;
  state.counters["theirs_ns"] = seconds[1] / calls * 1e9;
  state.counters["ratio"] = seconds[0] / seconds[1];
}

template <class Ours, class Theirs>
void RunPaired(benchmark::State& state, std::int64_t batch, Ours ours, Theirs theirs) {
  RunPairedOnClocks(state, batch, ours, theirs, ThreadSeconds, ThreadSeconds);
}

}  // namespace bench
