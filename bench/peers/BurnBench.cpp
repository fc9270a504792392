// The burn engine's image writing beside the reference tools on the same
// data: a data image of a tree of 10,000 files (about 1 GiB) beside
// `xorriso -as mkisofs -J -R -o`, and 74 minutes of CD audio from a WAV file
// to BIN/CUE beside a plain copy of the same bytes. The counters give the
// peak resident memory of the engine's process and of xorriso.
#include <benchmark/benchmark.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "peers/orbcore/AudioImage.h"
#include "peers/orbcore/DataDisc.h"

namespace {

namespace fs = std::filesystem;

class QuietObserver : public orbcore::TaskObserver {
 public:
  void Progress(const orbcore::TaskProgress&) override {}
  bool CancelRequested() override { return false; }
};

// A scratch folder for the whole run, removed at exit.
const fs::path& Scratch() {
  static const fs::path folder = [] {
    std::string pattern = (fs::temp_directory_path() / "orbcore-bench-XXXXXX").string();
    const char* made = mkdtemp(pattern.data());
    if (made == nullptr) std::abort();
    std::atexit([] { fs::remove_all(Scratch()); });
    return fs::path(made);
  }();
  return folder;
}

// 10,000 files of 104,857 bytes (1 GiB) in 100 folders, made once.
const fs::path& Tree() {
  static const fs::path tree = [] {
    const fs::path root = Scratch() / "tree";
    std::string bytes(104857, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 % 251);
    for (int folder = 0; folder < 100; ++folder) {
      const fs::path dir = root / ("folder " + std::to_string(folder));
      fs::create_directories(dir);
      for (int file = 0; file < 100; ++file) {
        bytes[0] = static_cast<char>(file);
        std::ofstream(dir / ("file " + std::to_string(file) + ".bin"), std::ios::binary) << bytes;
      }
    }
    return root;
  }();
  return tree;
}

// 74 minutes of 44.1 kHz 16-bit stereo, made once.
const fs::path& Wav() {
  static const fs::path wav = [] {
    const fs::path path = Scratch() / "album.wav";
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    std::vector<short> second(44100 * 2);
    for (std::size_t i = 0; i < second.size(); ++i) second[i] = static_cast<short>(i * 7919 % 65536);
    for (int s = 0; s < 74 * 60; ++s) sf_write_short(file, second.data(), static_cast<sf_count_t>(second.size()));
    sf_close(file);
    return path;
  }();
  return wav;
}

double PeakMiB(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_DataImage_Engine(benchmark::State& state) {
  const fs::path tree = Tree(), image = Scratch() / "engine.iso";
  QuietObserver observer;
  for (auto _ : state) {
    fs::remove(image);
    const orbcore::TaskOutcome outcome = orbcore::WriteDataDisc({{tree.string(), "/"}}, "stdio:" + image.string(), observer);
    if (!outcome.Succeeded()) state.SkipWithError(outcome.detail.c_str());
  }
  state.counters["image_MiB"] = static_cast<double>(fs::file_size(image)) / (1 << 20);
  state.counters["peak_MiB"] = PeakMiB(RUSAGE_SELF);
  fs::remove(image);
}

void BM_DataImage_Xorriso(benchmark::State& state) {
  const fs::path tree = Tree(), image = Scratch() / "xorriso.iso";
  const std::string command = "xorriso -as mkisofs -quiet -J -R -o '" + image.string() + "' '" + tree.string() + "' 2>/dev/null";
  for (auto _ : state) {
    fs::remove(image);
    if (std::system(command.c_str()) != 0) state.SkipWithError("xorriso failed");
  }
  state.counters["image_MiB"] = static_cast<double>(fs::file_size(image)) / (1 << 20);
  state.counters["peak_MiB"] = PeakMiB(RUSAGE_CHILDREN);
  fs::remove(image);
}

void BM_AudioImage_Engine(benchmark::State& state) {
  const fs::path wav = Wav(), cue = Scratch() / "album.cue";
  QuietObserver observer;
  for (auto _ : state) {
    const orbcore::TaskOutcome outcome = orbcore::WriteAudioImage({wav.string()}, cue.string(), observer);
    if (!outcome.Succeeded()) state.SkipWithError(outcome.detail.c_str());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fs::file_size(wav)));
  fs::remove(cue);
  fs::remove(Scratch() / "album.bin");
}

void BM_AudioImage_PlainCopy(benchmark::State& state) {
  const fs::path wav = Wav(), copy = Scratch() / "copy.bin";
  std::vector<char> buffer(1 << 20);
  for (auto _ : state) {
    std::FILE* in = std::fopen(wav.c_str(), "rb");
    std::FILE* out = std::fopen(copy.c_str(), "wb");
    for (std::size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), in)) > 0;) std::fwrite(buffer.data(), 1, got, out);
    std::fclose(in);
    std::fclose(out);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fs::file_size(wav)));
  fs::remove(copy);
}

// Each run writes about 1 GiB: a few iterations, each timed on the wall
// clock (the writing happens on libburn's and libisofs' threads).
BENCHMARK(BM_DataImage_Engine)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DataImage_Xorriso)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AudioImage_Engine)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AudioImage_PlainCopy)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
