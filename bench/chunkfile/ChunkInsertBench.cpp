// Inserting 16 bytes near the start of a 256 MiB chunk file through a chunk
// stream, against the least any insertion can cost in the same run: moving
// the same tail up in memory (memmove) and writing it to a file once.
//
// Both files live in a folder of their own below the temporary folder, which
// the benchmark makes; it removes the files it wrote and the folder at exit.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "chunkfile/ChunkFile.h"
#include "chunkfile/FileStream.h"

namespace {

constexpr std::uint64_t kTailSize = 256ull * 1024 * 1024;
constexpr std::int32_t kInsertion = 16;

class Scratch {
 public:
  Scratch() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "/chunkinsert-bench-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
      std::perror("chunk insert bench: mkdtemp");
      std::exit(1);
    }
    folder = pattern;
  }
  ~Scratch() {
    // Only the two files written here, then the folder if nothing else came.
    std::error_code ignored;
    std::filesystem::remove(folder / "chunks.bin", ignored);
    std::filesystem::remove(folder / "reference.bin", ignored);
    std::filesystem::remove(folder, ignored);
  }
  std::filesystem::path folder;
};

Scratch& TheScratch() {
  static Scratch scratch;
  return scratch;
}

std::vector<char> Tail() {
  std::vector<char> tail(kTailSize);
  for (std::size_t i = 0; i < tail.size(); ++i) tail[i] = static_cast<char>(i * 131 + (i >> 12));
  return tail;
}

// A file of two chunks: a small one at the front and the big tail after it.
void BM_ChunkStreamInsert(benchmark::State& state) {
  const std::filesystem::path path = TheScratch().folder / "chunks.bin";
  std::filesystem::remove(path);
  chf::CreateChunkFile(path, "BENCHMRK");
  {
    chf::TRef<chf::CBaseStream> file = chf::OpenReadWriteFileStream(path);
    chf::TRef<chf::CChunkFile> root = chf::TRef<chf::CChunkFile>::adopt(chf::OpenChunkFile(file.get()));
    chf::AppendChunk(*root, chf::ChunkId("head"), "0123456789abcdef", 16);
    const std::vector<char> tail = Tail();
    chf::AppendChunk(*root, chf::ChunkId("tail"), nullptr, 0);
    root->Next();
    root->Next();
    chf::TRef<chf::CChunkStream> big = chf::TRef<chf::CChunkStream>::adopt(root->OpenChunkStream());
    for (std::size_t done = 0; done < tail.size(); done += 1 << 24) big->Write(tail.data() + done, 1 << 24);
  }
  chf::TRef<chf::CBaseStream> file = chf::OpenReadWriteFileStream(path);
  chf::TRef<chf::CChunkFile> root = chf::TRef<chf::CChunkFile>::adopt(chf::OpenChunkFile(file.get()));
  root->Rewind();
  root->Next();
  chf::TRef<chf::CChunkStream> head = chf::TRef<chf::CChunkStream>::adopt(root->OpenChunkStream());
  for (auto _ : state) {
    head->Seek(4);
    head->Insert(kInsertion);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kTailSize));
}

void BM_MemmoveAndWriteReference(benchmark::State& state) {
  const std::filesystem::path path = TheScratch().folder / "reference.bin";
  std::vector<char> image = Tail();
  image.resize(image.size() + kInsertion * 64);
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  if (fd < 0) {
    state.SkipWithError("cannot create the reference file");
    return;
  }
  for (auto _ : state) {
    std::memmove(image.data() + kInsertion, image.data(), kTailSize);
    for (std::uint64_t done = 0; done < kTailSize;) {
      const ssize_t written = pwrite(fd, image.data() + kInsertion + done, kTailSize - done,
                                     static_cast<off_t>(kInsertion + done));
      if (written <= 0) {
        state.SkipWithError("write failed");
        break;
      }
      done += static_cast<std::uint64_t>(written);
    }
  }
  close(fd);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kTailSize));
}

BENCHMARK(BM_ChunkStreamInsert)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);
BENCHMARK(BM_MemmoveAndWriteReference)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);

}  // namespace

BENCHMARK_MAIN();
