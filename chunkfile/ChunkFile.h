// Chunk files: a file is an 8-byte type tag, an 8-byte body size and a body
// that is a sequence of chunks (4-byte identifier, 8-byte data size, data),
// where a chunk's data may itself be such a sequence. All integers are
// little-endian; there is no padding.
//
//   chf::TRef<chf::CChunkFile> root = chf::TRef<chf::CChunkFile>::adopt(chf::OpenChunkFile(file.get()));
//   root->Rewind();
//   while (root->Next())
//     if (root->GetChunkId() == chf::ChunkId("cmnt")) { auto s = root->OpenChunkStream(); ... }
//
// Every chunk stream opened from one file shares the file's stream; a change
// of space made through one of them is passed to the others and up to the
// root, and each writes its new size back into its header when it goes.
#pragma once

#include <cstdint>
#include <filesystem>

#include "chunkfile/IStream.h"

namespace chf {

// A chunk identifier as the 32-bit value its four bytes read as.
constexpr std::uint32_t ChunkId(const char (&name)[5]) {
  return static_cast<std::uint32_t>(static_cast<std::uint8_t>(name[0])) |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(name[1])) << 8 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(name[2])) << 16 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(name[3])) << 24;
}

inline constexpr std::uint64_t kChunkHeaderSize = 12;
inline constexpr std::uint64_t kFileHeaderSize = 16;

// A window onto one chunk's data in the shared file stream. Reads are not
// limited to the window: asking for more than remains reads what follows.
// A write past the end grows the chunk and every chunk that encloses it.
class CChunkStream : public virtual IStream, public virtual IChunkSpaceListener {
 public:
  // Takes references on `holder` (null for the root) and `file`.
  CChunkStream(IChunkHolder* holder, IStream* file, std::uint64_t start, std::uint64_t size);

  void AddRef() override { ++refCount; }
  // The last release writes the size back when it changed, even when that
  // write fails: the object goes and the failure is raised.
  void Release() override;
  std::uint64_t Tell() override { return position; }
  std::uint64_t GetSize() override { return size; }
  void Seek(std::uint64_t p) override { position = p; }
  void Write(const void* buffer, std::int32_t count) override;
  void Read(void* buffer, std::int32_t count) override;
  void Insert(std::uint64_t count) override;
  void Remove(std::uint64_t count) override;

  void SpaceInserted(CChunkStream* source, std::uint64_t p, std::uint64_t count) override;
  void SpaceRemoved(CChunkStream* source, std::uint64_t p, std::uint64_t count) override;

  // Absolute position of the first data byte in the file stream.
  std::uint64_t GetStart() const { return start; }
  // True once a removal took the whole chunk away.
  bool IsRemoved() const { return removed; }

 protected:
  virtual ~CChunkStream();

  IChunkHolder* holder;
  IStream* file;
  std::uint64_t start;
  std::uint64_t size;
  std::uint64_t position = 0;
  std::uint64_t storedSize;
  std::int32_t refCount = 1;
  // Links in the holder's list of open children.
  CChunkStream* next = nullptr;
  CChunkStream* previous = nullptr;
  bool removed = false;

 private:
  friend class CChunkIterator;
  // Writes `size` into the 8 bytes before the data when it differs from
  // what the header holds.
  void writeBackSize();
};

// A cursor over a chunk sequence (this stream's data) that opens the chunks
// it finds as streams or as nested iterators.
class CChunkIterator : public CChunkStream, public IChunkHolder {
 public:
  CChunkIterator(IChunkHolder* holder, IStream* file, std::uint64_t start, std::uint64_t size);

  void AddRef() override { CChunkStream::AddRef(); }
  void Release() override { CChunkStream::Release(); }

  void Rewind();
  // Steps to the next chunk header; false, with no current chunk, when fewer
  // than 12 bytes of the sequence remain there.
  bool Next();
  std::uint32_t GetChunkId() const { return currentId; }
  // The current chunk's data size; a stream still open on it tells its size.
  std::uint64_t GetChunkSize() const { return currentSize; }
  bool IsOnChunk() const { return onChunk; }
  // Where the current chunk's header lies in this sequence.
  std::uint64_t GetChunkOffset() const { return currentOffset; }
  // New streams on the current chunk, with one reference; without a current
  // chunk a standard exception is raised.
  CChunkStream* OpenChunkStream();
  CChunkIterator* OpenChunkIterator();
  void DetachChild(CChunkStream* child) override;

  void SpaceInserted(CChunkStream* source, std::uint64_t p, std::uint64_t count) override;
  void SpaceRemoved(CChunkStream* source, std::uint64_t p, std::uint64_t count) override;

 protected:
  ~CChunkIterator() override = default;

 private:
  template <class Child>
  Child* openChild();
  // Moves the current chunk for a change at `p` of `count` bytes (negative
  // sign: removed) inside this window.
  void adjustCurrent(std::uint64_t p, std::uint64_t count, bool inserted);

  CChunkStream* children = nullptr;
  std::uint32_t currentId = 0;
  std::uint64_t currentSize = 0;
  std::uint64_t currentOffset = 0;
  bool onChunk = false;
  // When set, a child whose end lies exactly where a change made by its
  // holder or a sibling starts is not told of it. Normally clear: space
  // inserted at a chunk's end is inside its window and grows it. Deleting a
  // chunk sets it for the removal, which starts at the header after the
  // previous chunk's end and must not shrink that chunk.
  bool skipFlag = false;

  friend void DeleteChunk(CChunkIterator& sequence);
};

// The root of an opened file: an iterator over the body that also keeps the
// type tag.
class CChunkFile : public CChunkIterator {
 public:
  CChunkFile(IStream* file, std::uint64_t bodyStart, std::uint64_t bodySize, const std::uint8_t (&tag)[8]);

  // The eight tag bytes and a zero byte.
  const char* GetType() const { return type; }

 protected:
  ~CChunkFile() override = default;

 private:
  char type[9];
};

// Reads the tag and body size at the stream's position; nothing is checked.
// The file takes its own reference on `stream`; the result has one reference.
CChunkFile* OpenChunkFile(IStream* stream);

// Writes a new chunk file at `path`: the tag and an empty body. An existing
// file is never overwritten: std::invalid_argument.
void CreateChunkFile(const std::filesystem::path& path, const char (&tag)[9]);
// Appends a chunk with `size` data bytes at the end of `sequence`'s data,
// growing it and every enclosing chunk; returns the new chunk's data offset
// in the sequence.
std::uint64_t AppendChunk(CChunkIterator& sequence, std::uint32_t id, const void* data, std::uint32_t size);
// Removes `sequence`'s current chunk, header and data; the following chunks
// move down and the enclosing chunks shrink. Needs a stream that can be cut.
void DeleteChunk(CChunkIterator& sequence);

}  // namespace chf
