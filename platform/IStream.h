// The byte streams of the library: one lattice of interfaces that every stream
// implements a part of (input, output or both; plain, resetable, seekable).
//
//   lumo::P<lumo::ISeekableInStream> in = lumo::GetStreamManager()->OpenSeekableInStream(uri, lumo::kShareRead);
//   std::uint8_t header[16];
//   in->ReadFully(header, sizeof header);        // raises CEndOfStreamError when short
//   lumo::P<lumo::IStreamMarker> here = in->CreateMarker();
//   in->Skip(1024);                              // never beyond the end
//   in->Reset(here);
//
// Positions and sizes are unsigned 64-bit byte counts from the start of the
// stream, seek offsets signed 64-bit, counts of one call 32-bit. Every
// operation except IsClosed, GetURI and Close raises CStreamClosedError once
// the stream is closed. An operation declared in two interfaces (Reset in
// IResetableStream and IResetableInStream) has one implementation behind both.
#pragma once

#include <cstdint>

#include "foundation/IBase.h"
#include "foundation/IURI.h"
#include "foundation/Pointer.h"

namespace lumo {

// A saved position of one kind of stream; only the stream class that made it
// can read it back.
class IStreamMarker : public virtual IBase {
 public:
  // Reserved; does nothing in every marker of the library.
  virtual void Touch() = 0;
};

class IStreamBase : public virtual IBase {
 public:
  virtual std::uint64_t GetPosition() const = 0;
  // The current length in bytes.
  virtual std::uint64_t GetSize() const = 0;
  // True once closed, or when the stream never held an open resource.
  virtual bool IsClosed() const = 0;
  // Releases the underlying resource; closing again does nothing.
  virtual void Close() = 0;
  // A new reference to the URI the stream was opened from.
  virtual P<IURI> GetURI() const = 0;
};

class IInStream : public virtual IStreamBase {
 public:
  // Exactly `count` bytes, by one Read; a short read raises
  // CEndOfStreamError and what was read stays consumed.
  virtual void ReadFully(void* buffer, std::uint32_t count) = 0;
  // Up to `count` bytes; 0 only at the end. A short count is no error.
  virtual std::uint32_t Read(void* buffer, std::uint32_t count) = 0;
  // The same as the first form, for byte buffers.
  virtual std::uint32_t Read(std::uint8_t* buffer, std::uint32_t count) = 0;
  // Moves by `count` from the current position, without looking at the size.
  virtual void Advance(std::int32_t count) = 0;
  // Moves forward by `count`, but to the end at most; returns the distance moved.
  virtual std::int32_t Skip(std::int32_t count) = 0;
  // The same as the first form; a count beyond 32 bits raises CInvalidArgError.
  virtual std::int32_t Skip(long count) = 0;
  // True when the position is at or beyond the size.
  virtual bool IsAtEnd() const = 0;
};

class IOutStream : public virtual IStreamBase {
 public:
  // All `count` bytes at the current position, advancing it; failures raise.
  virtual void WriteFully(const void* buffer, std::uint32_t count) = 0;
  // WriteFully, then `count`.
  virtual std::uint32_t Write(const void* buffer, std::uint32_t count) = 0;
  // Hands everything written so far to the storage device.
  virtual void Flush() = 0;
};

// Input and output in one stream; the output operations are declared again
// because an input/output stream is reached as an input stream first.
class IIOStream : public virtual IInStream {
 public:
  virtual void WriteFully(const void* buffer, std::uint32_t count) = 0;
  virtual std::uint32_t Write(const void* buffer, std::uint32_t count) = 0;
  virtual void Flush() = 0;
};

// Streams that can return to a position saved earlier. A marker that the
// same kind of stream did not make raises CCastError.
class IResetableStream : public virtual IStreamBase {
 public:
  virtual P<IStreamMarker> CreateMarker() = 0;
  virtual void Reset(const P<IStreamMarker>& marker) = 0;
};

class IResetableInStream : public virtual IInStream {
 public:
  virtual P<IStreamMarker> CreateMarker() = 0;
  virtual void Reset(const P<IStreamMarker>& marker) = 0;
};

class IResetableOutStream : public virtual IOutStream {
 public:
  virtual P<IStreamMarker> CreateMarker() = 0;
  virtual void Reset(const P<IStreamMarker>& marker) = 0;
};

class IResetableIOStream : public virtual IIOStream {
 public:
  virtual P<IStreamMarker> CreateMarker() = 0;
  virtual void Reset(const P<IStreamMarker>& marker) = 0;
};

// Streams with free positioning. The target is not compared with the size:
// a position past the end is accepted; a negative one is refused by the
// storage and raises.
class ISeekableStream : public virtual IResetableStream {
 public:
  virtual void SeekFromStart(std::int64_t offset) = 0;
  // To size + offset: an offset of 0 or less lands inside the stream.
  virtual void SeekFromEnd(std::int64_t offset) = 0;
  virtual void SeekRelative(std::int64_t offset) = 0;
};

class ISeekableInStream : public virtual IResetableInStream {
 public:
  virtual void SeekFromStart(std::int64_t offset) = 0;
  virtual void SeekFromEnd(std::int64_t offset) = 0;
  virtual void SeekRelative(std::int64_t offset) = 0;
};

class ISeekableOutStream : public virtual IResetableOutStream {
 public:
  virtual void SeekFromStart(std::int64_t offset) = 0;
  virtual void SeekFromEnd(std::int64_t offset) = 0;
  virtual void SeekRelative(std::int64_t offset) = 0;
};

class ISeekableIOStream : public virtual IResetableIOStream {
 public:
  virtual void SeekFromStart(std::int64_t offset) = 0;
  virtual void SeekFromEnd(std::int64_t offset) = 0;
  virtual void SeekRelative(std::int64_t offset) = 0;
};

}  // namespace lumo
