// Opens random bytes as a chunk file and walks every chunk tree in it, each
// chunk both as opaque data and as a nested sequence, to any depth. The bytes
// sit behind a stream that aborts on any read, seek target or write outside
// them, so a walk that strays out of the file is caught; reads that run past
// the end of the file, as a short file gives, end in the stream's error.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "chunkfile/ChunkFile.h"

namespace {

class CMemoryStream : public chf::IStream {
 public:
  CMemoryStream(const std::uint8_t* bytes, std::size_t size) : bytes(bytes), length(size) {}

  void AddRef() override { ++refCount; }
  void Release() override {
    if (--refCount == 0) delete this;
  }
  std::uint64_t Tell() override { return position; }
  std::uint64_t GetSize() override { return length; }
  void Seek(std::uint64_t p) override { position = p; }
  void Read(void* buffer, std::int32_t count) override {
    if (count < 0) Abort("negative read");
    // A read that does not fit is refused before a byte is touched, as a
    // file refuses a read beyond its end.
    if (position > length || length - position < static_cast<std::uint64_t>(count))
      throw std::out_of_range("read beyond the end of the file");
    if (count > 0) std::memcpy(buffer, bytes + position, static_cast<std::size_t>(count));
    position += static_cast<std::uint64_t>(count);
  }
  void Write(const void*, std::int32_t) override { Abort("write while walking"); }
  void Insert(std::uint64_t) override { Abort("insert while walking"); }
  void Remove(std::uint64_t) override { Abort("remove while walking"); }

 private:
  ~CMemoryStream() override = default;
  [[noreturn]] static void Abort(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
  }

  const std::uint8_t* bytes;
  std::size_t length;
  std::uint64_t position = 0;
  int refCount = 1;
};

// Every chunk of `sequence`, read whole where it fits in the file and walked
// as a sequence of its own.
void Walk(chf::CChunkIterator& sequence, std::uint64_t fileSize) {
  sequence.Rewind();
  while (sequence.Next()) {
    const std::uint64_t offset = sequence.GetChunkOffset();
    if (offset + chf::kChunkHeaderSize > sequence.GetSize()) std::abort();
    chf::TRef<chf::CChunkStream> data = chf::TRef<chf::CChunkStream>::adopt(sequence.OpenChunkStream());
    if (data->GetStart() + data->GetSize() <= fileSize && data->GetSize() <= 4096) {
      std::vector<std::uint8_t> buffer(data->GetSize());
      data->Read(buffer.data(), static_cast<std::int32_t>(buffer.size()));
      if (data->Tell() != data->GetSize()) std::abort();
    }
    chf::TRef<chf::CChunkIterator> nested = chf::TRef<chf::CChunkIterator>::adopt(sequence.OpenChunkIterator());
    try {
      Walk(*nested, fileSize);
    } catch (const std::out_of_range&) {
      // A nested sequence that claims more than the file holds ends there.
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  chf::TRef<chf::IStream> file = chf::TRef<chf::IStream>::adopt(new CMemoryStream(data, size));
  try {
    chf::TRef<chf::CChunkFile> root = chf::TRef<chf::CChunkFile>::adopt(chf::OpenChunkFile(file.get()));
    if (std::memcmp(root->GetType(), data, 8) != 0 || root->GetType()[8] != '\0') std::abort();
    Walk(*root, size);
  } catch (const std::out_of_range&) {
    // Shorter than its headers say: the stream's error, nothing read outside.
  }
  return 0;
}
