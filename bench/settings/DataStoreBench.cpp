// The data store's costs: the scrambling transform and the scrambling file
// streams against memcpy and plain file streams of the same bytes; saving and
// loading a folder of 5,000 small files against "zip -r" and "unzip" of the
// same tree, in turns in the same run. Both sides deflate at zlib's default
// level (6, zip's default too); "unzip -o" replaces each file as loading
// does. The folder benchmarks count CPU time, user and system (for the
// references that of the child processes), so a busy machine's waits do not
// count, and print the ratio; run with TMPDIR on a tmpfs to leave the disk
// out as well.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <wx/wfstream.h>

#include "bench/PairedRatio.h"
#include "compat/win32/Path.h"
#include "settings/lapp/CryptedFileStream.h"
#include "settings/lapp/DataStoreHandlers.h"
#include "settings/lapp/ZipArchive.h"

namespace {

namespace fs = std::filesystem;

const fs::path& Work() {
  static const fs::path folder = [] {
    fs::path path = fs::temp_directory_path() / ("datastore_bench_" + std::to_string(::getpid()));
    fs::create_directories(path);
    return path;
  }();
  return folder;
}

constexpr std::size_t kBlock = 1 << 20;

// CPU seconds, user and system, of this process (RUSAGE_SELF) or of its
// ended children (RUSAGE_CHILDREN).
double CpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void BM_Memcpy(benchmark::State& state) {
  std::vector<unsigned char> from(kBlock, 7), to(kBlock);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), kBlock);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBlock));
}
BENCHMARK(BM_Memcpy);

void BM_CryptTransform(benchmark::State& state) {
  std::vector<unsigned char> bytes(kBlock, 7);
  std::int64_t offset = 0;
  for (auto _ : state) {
    lapp::CryptTransform(bytes.data(), static_cast<std::ptrdiff_t>(kBlock), offset++);
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBlock));
}
BENCHMARK(BM_CryptTransform);

// Writes and reads 16 MiB in 64 KiB pieces; arg 1 scrambles, 0 does not.
constexpr std::size_t kFileBytes = 16 << 20;

void BM_FileWrite(benchmark::State& state) {
  const std::string path = (Work() / "stream.bin").string();
  std::vector<char> piece(64 << 10, 'x');
  for (auto _ : state) {
    std::unique_ptr<wxFileOutputStream> out;
    if (state.range(0)) out = std::make_unique<lapp::CCryptedOutputFileStream>(path);
    else out = std::make_unique<wxFileOutputStream>(path);
    for (std::size_t done = 0; done < kFileBytes; done += piece.size()) out->Write(piece.data(), piece.size());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileBytes));
}
BENCHMARK(BM_FileWrite)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_FileRead(benchmark::State& state) {
  const std::string path = (Work() / "stream.bin").string();
  { lapp::CCryptedOutputFileStream(path).Write(std::string(kFileBytes, 'x').data(), kFileBytes); }
  std::vector<char> piece(64 << 10);
  for (auto _ : state) {
    std::unique_ptr<wxFileInputStream> in;
    if (state.range(0)) in = std::make_unique<lapp::CCryptedInputFileStream>(path);
    else in = std::make_unique<wxFileInputStream>(path);
    while (in->Read(piece.data(), piece.size()).LastRead() > 0) benchmark::DoNotOptimize(piece.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileBytes));
}
BENCHMARK(BM_FileRead)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// 5,000 files of 200 bytes in 50 folders.
const fs::path& Tree() {
  static const fs::path tree = [] {
    const fs::path root = Work() / "tree";
    for (int folder = 0; folder < 50; ++folder) {
      fs::create_directories(root / std::to_string(folder));
      for (int file = 0; file < 100; ++file)
        std::ofstream(root / std::to_string(folder) / (std::to_string(file) + ".txt")) << std::string(200, 'a' + file % 26);
    }
    return root;
  }();
  return tree;
}

// The reference's command, run through the shell in the work folder.
void RunReference(const std::string& command) {
  benchmark::DoNotOptimize(std::system(("cd '" + Work().string() + "' && " + command).c_str()));
}

// Ours and the reference in turns, so that both meet the same load: ours on
// this process's CPU time, the reference on that of the ended children (the
// shell and the program).
template <typename Ours>
void RunAgainstReference(benchmark::State& state, Ours ours, const std::string& reference) {
  bench::RunPairedOnClocks(
      state, 1, ours, [&] { RunReference(reference); }, [] { return CpuSeconds(RUSAGE_SELF); },
      [] { return CpuSeconds(RUSAGE_CHILDREN); });
}

constexpr const char* kZipTree = "rm -f ref.zip && zip -qr ref.zip tree";

// Saving the tree against "zip -r" of it.
void BM_SaveFolder_OverZip(benchmark::State& state) {
  const std::u16string folder = compat::win32::WindowsPath(Tree().string()) + u"\\";
  const std::u16string store = compat::win32::WindowsPath((Work() / "data.db").string());
  lapp::HandlerMap handlers;
  handlers.emplace(folder, std::make_unique<lapp::CFolderHandler>(folder, 1));
  RunAgainstReference(state, [&] { lapp::SaveSet(store, "regentry_user", handlers); }, kZipTree);
}
BENCHMARK(BM_SaveFolder_OverZip)->Unit(benchmark::kMillisecond);

// Loading it, every file replaced, against "unzip -o" of the same tree.
void BM_LoadFolder_OverUnzip(benchmark::State& state) {
  const std::u16string folder = compat::win32::WindowsPath(Tree().string()) + u"\\";
  const std::u16string store = compat::win32::WindowsPath((Work() / "data.db").string());
  lapp::HandlerMap saver, loader;
  saver.emplace(folder, std::make_unique<lapp::CFolderHandler>(folder, 1));
  loader.emplace(folder, std::make_unique<lapp::CFolderHandler>(folder, 4));
  lapp::SaveSet(store, "regentry_user", saver);
  RunReference(kZipTree);
  RunAgainstReference(state, [&] { lapp::LoadSet(store, "regentry_user", loader); }, "unzip -qo ref.zip");
}
BENCHMARK(BM_LoadFolder_OverUnzip)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fs::remove_all(Work());
  return 0;
}
