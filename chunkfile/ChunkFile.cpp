#include "chunkfile/ChunkFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <exception>
#include <stdexcept>

namespace chf {

namespace {

std::uint64_t ReadSize(const std::uint8_t* bytes) {
  std::uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = value << 8 | bytes[i];
  return value;
}

void PutSize(std::uint8_t* bytes, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

// --- CChunkStream ------------------------------------------------------------

CChunkStream::CChunkStream(IChunkHolder* holder, IStream* file, std::uint64_t start, std::uint64_t size)
    : holder(holder), file(file), start(start), size(size), storedSize(size) {
  if (holder) holder->AddRef();
  file->AddRef();
}

CChunkStream::~CChunkStream() {
  if (holder) {
    holder->DetachChild(this);
    holder->Release();
  }
  file->Release();
}

void CChunkStream::Release() {
  if (--refCount > 0) return;
  try {
    writeBackSize();
  } catch (...) {
    delete this;
    throw;
  }
  delete this;
}

void CChunkStream::writeBackSize() {
  if (size == storedSize || removed) return;
  std::uint8_t bytes[8];
  PutSize(bytes, size);
  file->Seek(start - 8);
  file->Write(bytes, sizeof bytes);
  storedSize = size;
}

void CChunkStream::Read(void* buffer, std::int32_t count) {
  file->Seek(start + position);
  file->Read(buffer, count);
  position = std::min(position + static_cast<std::uint64_t>(count), size);
}

void CChunkStream::Write(const void* buffer, std::int32_t count) {
  const std::uint64_t n = static_cast<std::uint64_t>(count);
  if (position + n > size) {
    // The chunk grows at its end; the holder hears of it before the size
    // changes, so it sees the insertion inside its own window.
    const std::uint64_t growth = position + n - size;
    file->Seek(start + size);
    file->Insert(growth);
    if (holder) holder->SpaceInserted(this, start + size, growth);
    size += growth;
  }
  file->Seek(start + position);
  file->Write(buffer, count);
  position += n;
}

void CChunkStream::Insert(std::uint64_t count) {
  const std::uint64_t at = start + position;
  file->Seek(at);
  file->Insert(count);
  SpaceInserted(this, at, count);
}

void CChunkStream::Remove(std::uint64_t count) {
  const std::uint64_t at = start + position;
  file->Seek(at);
  file->Remove(count);
  SpaceRemoved(this, at, count);
}

// A change this stream made itself is passed to its holder, as the growth of
// a write is, so the enclosing chunks and the siblings after it follow.
void CChunkStream::SpaceInserted(CChunkStream* source, std::uint64_t p, std::uint64_t count) {
  if (p < start)
    start += count;
  else if (p <= start + size)
    size += count;
  if (source == this && holder) holder->SpaceInserted(this, p, count);
}

void CChunkStream::SpaceRemoved(CChunkStream* source, std::uint64_t p, std::uint64_t count) {
  if (p < start) {
    if (p + count >= start + size)
      removed = true;
    else
      start -= count;
  } else if (p <= start + size) {
    size -= count;
  }
  if (source == this && holder) holder->SpaceRemoved(this, p, count);
}

// --- CChunkIterator ----------------------------------------------------------

CChunkIterator::CChunkIterator(IChunkHolder* holder, IStream* file, std::uint64_t start, std::uint64_t size)
    : CChunkStream(holder, file, start, size) {}

void CChunkIterator::Rewind() {
  Seek(0);
  currentOffset = 0;
  currentSize = 0;
  currentId = 0;
  onChunk = false;
}

bool CChunkIterator::Next() {
  std::uint64_t offset = currentOffset;
  if (onChunk) {
    // A stated size can run to the end of 64 bits: the walk is over then.
    const std::uint64_t step = kChunkHeaderSize + currentSize;
    offset = step < currentSize || offset + step < offset ? size : offset + step;
  }
  onChunk = false;
  currentId = 0;
  currentSize = 0;
  // A window whose stated size reaches past 64 bits of file ends there too.
  const std::uint64_t room = std::min(size, ~std::uint64_t{0} - start);
  if (offset > room || room - offset < kChunkHeaderSize) {
    currentOffset = std::min(offset, room);
    return false;
  }
  currentOffset = offset;
  std::uint8_t header[kChunkHeaderSize];
  Seek(offset);
  Read(header, sizeof header);
  std::memcpy(&currentId, header, 4);
  currentSize = ReadSize(header + 4);
  // A stream still open here may have grown without writing its size back.
  const std::uint64_t dataStart = start + offset + kChunkHeaderSize;
  for (CChunkStream* child = children; child; child = child->next) {
    if (child->start == dataStart && !child->removed) {
      currentSize = child->size;
      break;
    }
  }
  onChunk = true;
  return true;
}

template <class Child>
Child* CChunkIterator::openChild() {
  if (!onChunk) throw std::exception();
  Child* child = new Child(this, file, start + currentOffset + kChunkHeaderSize, currentSize);
  child->next = children;
  if (children) children->previous = child;
  children = child;
  return child;
}

CChunkStream* CChunkIterator::OpenChunkStream() { return openChild<CChunkStream>(); }

CChunkIterator* CChunkIterator::OpenChunkIterator() { return openChild<CChunkIterator>(); }

void CChunkIterator::DetachChild(CChunkStream* child) {
  if (child->previous)
    child->previous->next = child->next;
  else if (children == child)
    children = child->next;
  if (child->next) child->next->previous = child->previous;
  child->next = child->previous = nullptr;
}

void CChunkIterator::adjustCurrent(std::uint64_t p, std::uint64_t count, bool inserted) {
  // A change before the window moved the window itself, the current chunk with it.
  if (p < start) return;
  const std::uint64_t header = start + currentOffset;
  const std::uint64_t dataStart = header + kChunkHeaderSize;
  if (inserted) {
    if (p <= header)
      currentOffset += count;
    else if (onChunk && p >= dataStart && p <= dataStart + currentSize)
      currentSize += count;
    return;
  }
  if (onChunk && p == header) {
    onChunk = false;
    currentId = 0;
    currentSize = 0;
  } else if (p < header) {
    currentOffset = p + count <= header ? currentOffset - count : p - start;
  } else if (onChunk && p >= dataStart && p <= dataStart + currentSize) {
    currentSize -= std::min(count, currentSize);
  }
}

void CChunkIterator::SpaceInserted(CChunkStream* source, std::uint64_t p, std::uint64_t count) {
  CChunkStream::SpaceInserted(nullptr, p, count);
  adjustCurrent(p, count, true);
  for (CChunkStream* child = children; child; child = child->next) {
    if (child == source) continue;
    if (skipFlag && child->start + child->size == p) continue;
    child->SpaceInserted(nullptr, p, count);
  }
  if (source && holder) holder->SpaceInserted(this, p, count);
}

void CChunkIterator::SpaceRemoved(CChunkStream* source, std::uint64_t p, std::uint64_t count) {
  CChunkStream::SpaceRemoved(nullptr, p, count);
  adjustCurrent(p, count, false);
  for (CChunkStream* child = children; child; child = child->next) {
    if (child == source) continue;
    if (skipFlag && child->start + child->size == p) continue;
    child->SpaceRemoved(nullptr, p, count);
  }
  if (source && holder) holder->SpaceRemoved(this, p, count);
}

// --- CChunkFile and the file operations --------------------------------------

CChunkFile::CChunkFile(IStream* file, std::uint64_t bodyStart, std::uint64_t bodySize, const std::uint8_t (&tag)[8])
    : CChunkIterator(nullptr, file, bodyStart, bodySize) {
  std::memcpy(type, tag, 8);
  type[8] = '\0';
}

CChunkFile* OpenChunkFile(IStream* stream) {
  std::uint8_t tag[8];
  std::uint8_t size[8];
  stream->Read(tag, sizeof tag);
  stream->Read(size, sizeof size);
  return new CChunkFile(stream, stream->Tell(), ReadSize(size), tag);
}

void CreateChunkFile(const std::filesystem::path& path, const char (&tag)[9]) {
  // Exclusive creation: a file that exists, or appears meanwhile, is left alone.
  std::FILE* created = std::fopen(path.c_str(), "wbx");
  if (!created) throw std::invalid_argument("cannot create a new chunk file at " + path.string());
  std::uint8_t header[kFileHeaderSize] = {};
  std::memcpy(header, tag, 8);
  const bool written = std::fwrite(header, 1, sizeof header, created) == sizeof header;
  if (std::fclose(created) != 0 || !written) throw std::runtime_error("cannot write " + path.string());
}

std::uint64_t AppendChunk(CChunkIterator& sequence, std::uint32_t id, const void* data, std::uint32_t size) {
  if (size > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()))
    throw std::invalid_argument("a chunk is appended in one write of at most 2 GiB");
  std::uint8_t header[kChunkHeaderSize];
  std::memcpy(header, &id, 4);
  PutSize(header + 4, size);
  const std::uint64_t headerOffset = sequence.GetSize();
  sequence.Seek(headerOffset);
  sequence.Write(header, sizeof header);
  if (size > 0) sequence.Write(data, static_cast<std::int32_t>(size));
  return headerOffset + kChunkHeaderSize;
}

void DeleteChunk(CChunkIterator& sequence) {
  if (!sequence.IsOnChunk()) throw std::exception();
  const std::uint64_t total = kChunkHeaderSize + sequence.GetChunkSize();
  sequence.Seek(sequence.GetChunkOffset());
  sequence.skipFlag = true;
  try {
    sequence.Remove(total);
  } catch (...) {
    sequence.skipFlag = false;
    throw;
  }
  sequence.skipFlag = false;
}

}  // namespace chf
