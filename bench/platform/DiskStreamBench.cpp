// Sequential reads and writes of a 256 MiB file in 64 KiB calls through a
// disk stream, against plain read and write on a file descriptor in the same
// run: what the layers above the system call cost.
//
// The file lives in a folder of its own below the temporary folder; the
// benchmark removes the file and the folder when it ends.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/CURI.h"
#include "platform/win32/DiskStream.h"

namespace {

constexpr std::uint32_t kChunk = 64 * 1024;
constexpr std::uint64_t kFileSize = 256ull * 1024 * 1024;

// The scratch folder and the one file in it; both go at exit, and only if
// they are still what the benchmark made.
class Scratch {
 public:
  Scratch() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "/diskstream-bench-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
      std::perror("diskstream bench: mkdtemp");
      std::exit(1);
    }
    folder = pattern;
    file = folder + "/data.bin";
  }
  ~Scratch() {
    struct stat st;
    if (lstat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode)) unlink(file.c_str());
    rmdir(folder.c_str());  // removes the folder only when it is empty
  }
  std::string folder, file;
};

const Scratch& Files() {
  static const Scratch scratch;
  return scratch;
}

lumo::P<lumo::win32::CDiskIOStream> OpenStream() {
  const lumo::P<lumo::IURI> uri = lumo::make<lumo::CURI>(lumo::String(("file:///Z:" + Files().file).c_str()));
  return lumo::make<lumo::win32::CDiskIOStream>(uri, lumo::kShareRead, lumo::kOpenAlways,
                                                lumo::win32::CDiskIOStream::kReadWrite, false);
}

int OpenDescriptor() {
  const int fd = open(Files().file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) std::perror("diskstream bench: open");
  return fd;
}

// One call's worth of bytes, not all alike.
std::vector<char> Chunk() {
  std::vector<char> chunk(kChunk);
  for (std::uint32_t i = 0; i < kChunk; ++i) chunk[i] = static_cast<char>(i * 131);
  return chunk;
}

// Writes the whole file once, so that the reads find it complete.
void EnsureFile() {
  struct stat st;
  if (stat(Files().file.c_str(), &st) == 0 && static_cast<std::uint64_t>(st.st_size) == kFileSize) return;
  const std::vector<char> chunk = Chunk();
  const auto stream = OpenStream();
  for (std::uint64_t done = 0; done < kFileSize; done += kChunk) stream->WriteFully(chunk.data(), kChunk);
}

void Finish(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
}

void BM_WriteDiskStream(benchmark::State& state) {
  const std::vector<char> chunk = Chunk();
  const auto stream = OpenStream();
  for (auto _ : state) {
    stream->SeekFromStart(0);
    for (std::uint64_t done = 0; done < kFileSize; done += kChunk) stream->WriteFully(chunk.data(), kChunk);
  }
  Finish(state);
}

void BM_WriteDescriptor(benchmark::State& state) {
  const std::vector<char> chunk = Chunk();
  const int fd = OpenDescriptor();
  for (auto _ : state) {
    lseek(fd, 0, SEEK_SET);
    for (std::uint64_t done = 0; done < kFileSize; done += kChunk) {
      if (write(fd, chunk.data(), kChunk) != static_cast<ssize_t>(kChunk)) state.SkipWithError("short write");
    }
  }
  close(fd);
  Finish(state);
}

void BM_ReadDiskStream(benchmark::State& state) {
  EnsureFile();
  std::vector<char> buffer(kChunk);
  const auto stream = OpenStream();
  for (auto _ : state) {
    stream->SeekFromStart(0);
    while (stream->Read(buffer.data(), kChunk) == kChunk) {
    }
    benchmark::DoNotOptimize(buffer.data());
  }
  Finish(state);
}

void BM_ReadDescriptor(benchmark::State& state) {
  EnsureFile();
  std::vector<char> buffer(kChunk);
  const int fd = OpenDescriptor();
  for (auto _ : state) {
    lseek(fd, 0, SEEK_SET);
    while (read(fd, buffer.data(), kChunk) == static_cast<ssize_t>(kChunk)) {
    }
    benchmark::DoNotOptimize(buffer.data());
  }
  close(fd);
  Finish(state);
}

// Each pair runs side by side, the reference first.
BENCHMARK(BM_WriteDescriptor)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteDiskStream)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadDescriptor)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadDiskStream)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
