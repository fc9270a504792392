// Streams over local files: the disk stream factory, the one class that does
// the work (CDiskIOStream) and its input-only and output-only fronts.
//
//   lumo::P<lumo::win32::CDiskIOStream> file = lumo::make<lumo::win32::CDiskIOStream>(
//       uri, lumo::kShareRead, lumo::kOpenAlways, lumo::win32::CDiskIOStream::kReadWrite, false);
//   file->WriteFully(data, size);
//
// The streams are unbuffered: each read, write, seek or size query is one
// system call on the file handle, made under the stream's own mutex, so one
// stream may be shared between threads and each call is whole. Opening
// happens in the constructor; a stream that exists is open until closed.
#pragma once

#include <atomic>
#include <cstdint>

#include "compat/win32/WinTypes.h"
#include "platform/IMutex.h"
#include "platform/StreamFactory.h"

namespace lumo::win32 {

template <class... Interfaces>
class TDiskStreamFront;

// Serves the URIs with the scheme "file" and those without a scheme; any
// other URI gets an empty answer without a look at the file system.
class CDiskStreamFactory : public CStreamFactory {
 public:
  CDiskStreamFactory() = default;

  // True for a file URI or a URI without a scheme.
  static bool Serves(const IURI* uri);

 protected:
  ~CDiskStreamFactory() override = default;
  // An input kind opens a CDiskInStream, an output kind a CDiskOutStream, an
  // input/output kind a CDiskIOStream.
  P<IStreamBase> TryOpen(const P<IURI>& uri, const StreamRequest& request) override;
};

class CDiskIOStream : public CObject,
                      public virtual ISeekableIOStream,
                      public virtual ISeekableInStream,
                      public virtual ISeekableOutStream,
                      public virtual ISeekableStream {
 public:
  // What the stream may do with its file.
  using Access = std::uint32_t;
  static constexpr Access kRead = 1;
  static constexpr Access kWrite = 2;
  static constexpr Access kReadWrite = kRead | kWrite;

  // A position saved by a disk stream; any disk stream can return to it.
  class IMarker : public virtual IStreamMarker {
   public:
    virtual std::uint64_t GetPosition() const = 0;
  };

  class CMarker : public CObject, public virtual IMarker {
   public:
    explicit CMarker(std::uint64_t position) : position(position) {}
    void Touch() override {}
    std::uint64_t GetPosition() const override { return position; }

   protected:
    ~CMarker() override = default;

   private:
    std::uint64_t position;
  };

  // Opens the file that `uri` names. A URI of another scheme, without a
  // path, or a missing file raises CFileNotFoundError; a share mode above 2
  // or a creation mode outside 1..3 raises CInvalidArgError; other failures
  // raise the system's error.
  CDiskIOStream(const P<IURI>& uri, ShareMode share, CreationMode creation, Access access, bool deleteOnClose);

  std::uint64_t GetPosition() const override;
  std::uint64_t GetSize() const override;
  bool IsClosed() const override;
  void Close() override;
  P<IURI> GetURI() const override;

  void ReadFully(void* buffer, std::uint32_t count) override;
  std::uint32_t Read(void* buffer, std::uint32_t count) override;
  std::uint32_t Read(std::uint8_t* buffer, std::uint32_t count) override;
  void Advance(std::int32_t count) override;
  std::int32_t Skip(std::int32_t count) override;
  std::int32_t Skip(long count) override;
  bool IsAtEnd() const override;

  void WriteFully(const void* buffer, std::uint32_t count) override;
  std::uint32_t Write(const void* buffer, std::uint32_t count) override;
  void Flush() override;

  P<IStreamMarker> CreateMarker() override;
  // Raises CCastError for a marker that no disk stream made.
  void Reset(const P<IStreamMarker>& marker) override;

  void SeekFromStart(std::int64_t offset) override;
  void SeekFromEnd(std::int64_t offset) override;
  void SeekRelative(std::int64_t offset) override;

 protected:
  ~CDiskIOStream() override;

 private:
  // The fronts hold their stream by value.
  template <class... Interfaces>
  friend class TDiskStreamFront;

  // Holds the mutex and checks that the stream is open, for one operation.
  class COperation;
  // The system's seek; the new position.
  std::uint64_t seek(std::int64_t offset, DWORD origin) const;

  // Read without the lock by IsClosed; the invalid value means closed.
  std::atomic<HANDLE> handle{INVALID_HANDLE_VALUE};
  P<IMutex> mutex;
  P<IURI> uri;
};

// The operations common to both fronts, passed on to the stream they own.
template <class... Interfaces>
class TDiskStreamFront : public CObject, public virtual Interfaces... {
 public:
  std::uint64_t GetPosition() const override { return stream.GetPosition(); }
  std::uint64_t GetSize() const override { return stream.GetSize(); }
  bool IsClosed() const override { return stream.IsClosed(); }
  void Close() override { stream.Close(); }
  P<IURI> GetURI() const override { return stream.GetURI(); }
  P<IStreamMarker> CreateMarker() override { return stream.CreateMarker(); }
  void Reset(const P<IStreamMarker>& marker) override { stream.Reset(marker); }
  void SeekFromStart(std::int64_t offset) override { stream.SeekFromStart(offset); }
  void SeekFromEnd(std::int64_t offset) override { stream.SeekFromEnd(offset); }
  void SeekRelative(std::int64_t offset) override { stream.SeekRelative(offset); }

 protected:
  TDiskStreamFront(const P<IURI>& uri, ShareMode share, CreationMode creation, CDiskIOStream::Access access,
                   bool deleteOnClose)
      : stream(uri, share, creation, access, deleteOnClose) {}
  ~TDiskStreamFront() override = default;

  CDiskIOStream stream;
};

// A disk stream for reading an existing file.
class CDiskInStream : public TDiskStreamFront<ISeekableInStream, ISeekableStream> {
 public:
  CDiskInStream(const P<IURI>& uri, ShareMode share)
      : TDiskStreamFront(uri, share, kOpenExisting, CDiskIOStream::kRead, false) {}

  void ReadFully(void* buffer, std::uint32_t count) override { stream.ReadFully(buffer, count); }
  std::uint32_t Read(void* buffer, std::uint32_t count) override { return stream.Read(buffer, count); }
  std::uint32_t Read(std::uint8_t* buffer, std::uint32_t count) override { return stream.Read(buffer, count); }
  void Advance(std::int32_t count) override { stream.Advance(count); }
  std::int32_t Skip(std::int32_t count) override { return stream.Skip(count); }
  std::int32_t Skip(long count) override { return stream.Skip(count); }
  bool IsAtEnd() const override { return stream.IsAtEnd(); }

 protected:
  ~CDiskInStream() override = default;
};

// A disk stream for writing.
class CDiskOutStream : public TDiskStreamFront<ISeekableOutStream, ISeekableStream> {
 public:
  CDiskOutStream(const P<IURI>& uri, ShareMode share, CreationMode creation, bool deleteOnClose)
      : TDiskStreamFront(uri, share, creation, CDiskIOStream::kWrite, deleteOnClose) {}

  void WriteFully(const void* buffer, std::uint32_t count) override { stream.WriteFully(buffer, count); }
  std::uint32_t Write(const void* buffer, std::uint32_t count) override { return stream.Write(buffer, count); }
  void Flush() override { stream.Flush(); }

 protected:
  ~CDiskOutStream() override = default;
};

}  // namespace lumo::win32
