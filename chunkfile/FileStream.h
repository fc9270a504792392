// Streams over whole files: the insertion and removal that every file stream
// shares (CBaseStream), and the adapters over the base library's streams.
//
//   chf::TRef<chf::IStream> in = chf::TRef<chf::IStream>::adopt(new chf::CLumoFileStream(uri, lumo::kShareRead));
//   chf::TRef<chf::IStream> io = chf::OpenReadWriteFileStream("/tmp/pack.bin");
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>

#include "chunkfile/IStream.h"
#include "platform/IStreamFactory.h"

namespace chf {

// Insert and Remove through one copy buffer of 64 KiB, allocated on first use.
class CBaseStream : public virtual IStream {
 public:
  static constexpr std::uint32_t kCopyBufferSize = 0x10000;

  void AddRef() override { ++refCount; }
  void Release() override;
  // The tail is moved from the end backwards, so no byte is overwritten
  // before it is copied; the stream is extended first when the tail's last
  // block lands past the end. The position is kept.
  void Insert(std::uint64_t count) override;
  // The tail is moved down from its front, then the stream is cut. A count
  // beyond the end removes up to the end. The position is kept.
  void Remove(std::uint64_t count) override;

  virtual void Truncate(std::uint64_t newSize) = 0;
  virtual void Extend(std::uint64_t newSize);

 protected:
  CBaseStream() = default;
  ~CBaseStream() override = default;

  std::uint8_t* copyBuffer();

 private:
  std::unique_ptr<std::uint8_t[]> buffer;
  std::int32_t refCount = 1;
};

// A base-library stream seen as a chunk file stream. Seeking, reading and
// writing use the seekable, input and output interfaces the stream offers;
// an operation it does not offer ends in Fail.
class CLumoFileStream : public CBaseStream {
 public:
  // Opens `uri` for reading through the stream manager.
  CLumoFileStream(const lumo::P<lumo::IURI>& uri, lumo::ShareMode share);
  // Adapts a stream opened elsewhere.
  explicit CLumoFileStream(const lumo::P<lumo::IStreamBase>& stream);

  std::uint64_t Tell() override;
  std::uint64_t GetSize() override;
  void Seek(std::uint64_t position) override;
  void Write(const void* buffer, std::int32_t count) override;
  void Read(void* buffer, std::int32_t count) override;

  // Appends zero bytes up to `newSize`; fails when the size does not come out.
  void Extend(std::uint64_t newSize) override;
  // A base-library stream cannot be cut: always fails.
  void Truncate(std::uint64_t newSize) override;
  [[noreturn]] virtual void Fail();

 protected:
  ~CLumoFileStream() override = default;

 private:
  void adapt(const lumo::P<lumo::IStreamBase>& held);

  lumo::P<lumo::IStreamBase> stream;
  // Borrowed from `stream`; null when it does not offer the interface.
  lumo::ISeekableStream* seekable = nullptr;
  lumo::ISeekableInStream* seekableIn = nullptr;
  lumo::ISeekableOutStream* seekableOut = nullptr;
  lumo::ISeekableIOStream* seekableIO = nullptr;
  lumo::IInStream* in = nullptr;
  lumo::IOutStream* out = nullptr;
  lumo::IIOStream* inOut = nullptr;
};

// A read-write file stream over an existing local file, which can also be
// cut, so chunks can grow, shrink and be deleted. Others may read meanwhile.
TRef<CBaseStream> OpenReadWriteFileStream(const std::filesystem::path& path);

}  // namespace chf
