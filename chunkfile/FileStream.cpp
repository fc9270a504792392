#include "chunkfile/FileStream.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <string>

#include "foundation/CURI.h"
#include "foundation/Cast.h"
#include "platform/StreamManager.h"

namespace chf {

namespace {
// The longest piece one call moves, as a 32-bit buffer length.
std::int32_t Piece(std::uint64_t remaining) {
  return static_cast<std::int32_t>(std::min<std::uint64_t>(remaining, CBaseStream::kCopyBufferSize));
}
}  // namespace

void CBaseStream::Release() {
  if (--refCount == 0) delete this;
}

std::uint8_t* CBaseStream::copyBuffer() {
  if (!buffer) buffer = std::make_unique<std::uint8_t[]>(kCopyBufferSize);
  return buffer.get();
}

void CBaseStream::Extend(std::uint64_t) { throw std::exception(); }

void CBaseStream::Insert(std::uint64_t count) {
  if (count == 0) return;
  const std::uint64_t pos = Tell();
  const std::uint64_t end = GetSize();
  std::uint8_t* copy = copyBuffer();
  const std::uint64_t lastBlock = end > pos ? std::max(end - std::min<std::uint64_t>(end, kCopyBufferSize), pos) : pos;
  if (lastBlock + count > end) Extend(lastBlock + count);
  for (std::uint64_t blockEnd = end; blockEnd > pos;) {
    const std::int32_t length = Piece(blockEnd - pos);
    const std::uint64_t blockStart = blockEnd - static_cast<std::uint64_t>(length);
    Seek(blockStart);
    Read(copy, length);
    Seek(blockStart + count);
    Write(copy, length);
    blockEnd = blockStart;
  }
  Seek(pos);
}

void CBaseStream::Remove(std::uint64_t count) {
  const std::uint64_t pos = Tell();
  const std::uint64_t end = GetSize();
  count = std::min(count, end - std::min(pos, end));
  if (count == 0) return;
  std::uint8_t* copy = copyBuffer();
  for (std::uint64_t source = pos + count; source < end;) {
    const std::int32_t length = Piece(end - source);
    Seek(source);
    Read(copy, length);
    Seek(source - count);
    Write(copy, length);
    source += static_cast<std::uint64_t>(length);
  }
  Truncate(end - count);
  Seek(pos);
}

CLumoFileStream::CLumoFileStream(const lumo::P<lumo::IURI>& uri, lumo::ShareMode share) {
  adapt(lumo::GetStreamManager()->OpenSeekableInStream(uri, share));
}

CLumoFileStream::CLumoFileStream(const lumo::P<lumo::IStreamBase>& held) { adapt(held); }

void CLumoFileStream::adapt(const lumo::P<lumo::IStreamBase>& held) {
  stream = held;
  seekable = lumo::cast<lumo::ISeekableStream>(stream);
  seekableIn = lumo::cast<lumo::ISeekableInStream>(stream);
  seekableOut = lumo::cast<lumo::ISeekableOutStream>(stream);
  seekableIO = lumo::cast<lumo::ISeekableIOStream>(stream);
  in = lumo::cast<lumo::IInStream>(stream);
  out = lumo::cast<lumo::IOutStream>(stream);
  inOut = lumo::cast<lumo::IIOStream>(stream);
}

std::uint64_t CLumoFileStream::Tell() { return stream->GetPosition(); }

std::uint64_t CLumoFileStream::GetSize() { return stream->GetSize(); }

void CLumoFileStream::Seek(std::uint64_t position) {
  const auto offset = static_cast<std::int64_t>(position);
  if (seekable) return seekable->SeekFromStart(offset);
  if (seekableIn) return seekableIn->SeekFromStart(offset);
  if (seekableOut) return seekableOut->SeekFromStart(offset);
  if (seekableIO) return seekableIO->SeekFromStart(offset);
  Fail();
}

void CLumoFileStream::Read(void* buffer, std::int32_t count) {
  if (!in) Fail();
  in->ReadFully(buffer, static_cast<std::uint32_t>(count));
}

void CLumoFileStream::Write(const void* buffer, std::int32_t count) {
  if (out) return out->WriteFully(buffer, static_cast<std::uint32_t>(count));
  if (inOut) return inOut->WriteFully(buffer, static_cast<std::uint32_t>(count));
  Fail();
}

void CLumoFileStream::Extend(std::uint64_t newSize) {
  const std::uint64_t pos = Tell();
  const std::uint64_t size = GetSize();
  Seek(size);
  if (newSize > size) {
    std::uint8_t* zeros = copyBuffer();
    std::memset(zeros, 0, kCopyBufferSize);
    for (std::uint64_t left = newSize - size; left > 0;) {
      const std::int32_t length = Piece(left);
      Write(zeros, length);
      left -= static_cast<std::uint64_t>(length);
    }
  }
  if (GetSize() != newSize) Fail();
  Seek(pos);
}

void CLumoFileStream::Truncate(std::uint64_t) { Fail(); }

void CLumoFileStream::Fail() { throw std::exception(); }

namespace {
// A read-write file that can also be cut: the disk stream is unbuffered, so
// the file's length can be set beside it.
class CReadWriteFileStream : public CLumoFileStream {
 public:
  CReadWriteFileStream(const lumo::P<lumo::IStreamBase>& stream, std::filesystem::path path)
      : CLumoFileStream(stream), path(std::move(path)) {}

  void Truncate(std::uint64_t newSize) override { std::filesystem::resize_file(path, newSize); }

 protected:
  ~CReadWriteFileStream() override = default;

 private:
  std::filesystem::path path;
};
}  // namespace

TRef<CBaseStream> OpenReadWriteFileStream(const std::filesystem::path& path) {
  const std::string absolute = std::filesystem::absolute(path).string();
  const lumo::P<lumo::IURI> uri = lumo::make<lumo::CURI>(lumo::String(("file:///Z:" + absolute).c_str()));
  const lumo::P<lumo::ISeekableIOStream> stream =
      lumo::GetStreamManager()->OpenSeekableIOStream(uri, lumo::kShareRead, lumo::kOpenExisting, false);
  return TRef<CBaseStream>::adopt(new CReadWriteFileStream(stream, absolute));
}

}  // namespace chf
