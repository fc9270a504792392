#include "platform/win32/DiskStream.h"

#include <limits>
#include <string>

#include "compat/win32/Error.h"
#include "compat/win32/File.h"
#include "compat/win32/Sync.h"
#include "foundation/CURI.h"
#include "foundation/Cast.h"
#include "foundation/Exception.h"
#include "platform/StreamError.h"
#include "platform/win32/SystemError.h"
#include "platform/win32/SystemServices.h"

namespace lumo::win32 {

// ---------------------------------------------------------------------------
// The factory

bool CDiskStreamFactory::Serves(const IURI* uri) {
  return uri && (!uri->hasScheme() || uri->getScheme().equalsNoCase("file"));
}

P<IStreamBase> CDiskStreamFactory::TryOpen(const P<IURI>& uri, const StreamRequest& request) {
  if (!Serves(uri.get())) return nullptr;
  if (request.kind <= StreamRequest::kSeekableIn) return make<CDiskInStream>(uri, request.share);
  if (request.kind <= StreamRequest::kSeekableOut) {
    return make<CDiskOutStream>(uri, request.share, request.creation, request.deleteOnClose);
  }
  return make<CDiskIOStream>(uri, request.share, request.creation, CDiskIOStream::kReadWrite, request.deleteOnClose);
}

// ---------------------------------------------------------------------------
// Opening and closing

namespace {

[[noreturn]] void RefuseArgument(const char* what, std::uint32_t value) {
  throw CInvalidArgError(nullptr, &typeid(CDiskIOStream), "CDiskIOStream",
                         String(what) + " " + std::to_string(value).c_str());
}

DWORD ShareFlags(ShareMode share) {
  switch (share) {
    case kShareExclusive: return 0;
    case kShareRead: return FILE_SHARE_READ;
    case kShareReadWrite:
      // Systems before NT 5.0 do not know the delete share.
      return FILE_SHARE_READ | FILE_SHARE_WRITE | (IsSystemVersionAtLeast(5, 0, -1, -1) ? FILE_SHARE_DELETE : 0);
    default: RefuseArgument("share mode", share);
  }
}

DWORD Disposition(CreationMode creation) {
  switch (creation) {
    case kOpenExisting: return OPEN_EXISTING;
    case kCreateAlways: return CREATE_ALWAYS;
    case kOpenAlways: return OPEN_ALWAYS;
    default: RefuseArgument("creation mode", creation);
  }
}

// The system's last error as a library error, with no message of its own.
[[noreturn]] void ThrowLastError() { ThrowSystemError(GetLastError()); }

}  // namespace

// The constructor runs no member of the half-built stream into an error: an
// error keeps a reference to its object, and this one would not survive.
CDiskIOStream::CDiskIOStream(const P<IURI>& uri, ShareMode share, CreationMode creation, Access access,
                             bool deleteOnClose)
    : uri(uri ? P<IURI>(make<CURI>(*uri)) : nullptr) {
  IURI* const own = this->uri.get();
  if (!CDiskStreamFactory::Serves(own) || !own->hasPath() || own->getPath().isEmpty()) {
    throw CFileNotFoundError(own);
  }
  const DWORD shareFlags = ShareFlags(share);
  const DWORD disposition = Disposition(creation);
  const DWORD desired = ((access & kRead) ? GENERIC_READ : 0) | ((access & kWrite) ? GENERIC_WRITE : 0);
  const std::u16string path = ToUTF16(ToWindowsPath(own, false));
  const HANDLE file =
      CreateFileW(path.c_str(), desired, shareFlags, nullptr, disposition,
                  FILE_ATTRIBUTE_NORMAL | (deleteOnClose ? FILE_FLAG_DELETE_ON_CLOSE : 0), nullptr);
  if (file == INVALID_HANDLE_VALUE) ThrowSystemError(GetLastError(), nullptr, own);
  try {
    mutex = GetMutexFactory()->CreateMutex();
  } catch (...) {
    CloseHandle(file);
    throw;
  }
  handle.store(file, std::memory_order_release);
}

CDiskIOStream::~CDiskIOStream() {
  const HANDLE file = handle.load(std::memory_order_acquire);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

// ---------------------------------------------------------------------------
// The operations

class CDiskIOStream::COperation {
 public:
  explicit COperation(const CDiskIOStream& stream) : guard(stream.mutex) {
    if (stream.IsClosed()) throw CStreamClosedError();
  }

 private:
  CMutexGuard guard;
};

bool CDiskIOStream::IsClosed() const { return handle.load(std::memory_order_acquire) == INVALID_HANDLE_VALUE; }

P<IURI> CDiskIOStream::GetURI() const { return uri; }

void CDiskIOStream::Close() {
  CMutexGuard guard(mutex);
  const HANDLE file = handle.exchange(INVALID_HANDLE_VALUE, std::memory_order_acq_rel);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

std::uint64_t CDiskIOStream::seek(std::int64_t offset, DWORD origin) const {
  COperation operation(*this);
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  LARGE_INTEGER position;
  position.QuadPart = 0;
  // Only the code tells failure apart, as it does for the classic seek whose
  // valid positions include the failure value.
  SetLastError(ERROR_SUCCESS);
  if (!SetFilePointerEx(handle.load(std::memory_order_relaxed), distance, &position, origin) &&
      GetLastError() != ERROR_SUCCESS) {
    ThrowLastError();
  }
  return static_cast<std::uint64_t>(position.QuadPart);
}

std::uint64_t CDiskIOStream::GetPosition() const { return seek(0, FILE_CURRENT); }

std::uint64_t CDiskIOStream::GetSize() const {
  COperation operation(*this);
  LARGE_INTEGER size;
  size.QuadPart = 0;
  SetLastError(ERROR_SUCCESS);
  if (!GetFileSizeEx(handle.load(std::memory_order_relaxed), &size) && GetLastError() != ERROR_SUCCESS) {
    ThrowLastError();
  }
  return static_cast<std::uint64_t>(size.QuadPart);
}

void CDiskIOStream::SeekFromStart(std::int64_t offset) { seek(offset, FILE_BEGIN); }
void CDiskIOStream::SeekFromEnd(std::int64_t offset) { seek(offset, FILE_END); }
void CDiskIOStream::SeekRelative(std::int64_t offset) { seek(offset, FILE_CURRENT); }

std::uint32_t CDiskIOStream::Read(void* buffer, std::uint32_t count) {
  COperation operation(*this);
  DWORD read = 0;
  if (!ReadFile(handle.load(std::memory_order_relaxed), buffer, count, &read, nullptr)) ThrowLastError();
  return read;
}

std::uint32_t CDiskIOStream::Read(std::uint8_t* buffer, std::uint32_t count) {
  return Read(static_cast<void*>(buffer), count);
}

void CDiskIOStream::ReadFully(void* buffer, std::uint32_t count) {
  if (Read(buffer, count) < count) throw CEndOfStreamError();
}

void CDiskIOStream::Advance(std::int32_t count) { SeekRelative(count); }

std::int32_t CDiskIOStream::Skip(std::int32_t count) {
  COperation operation(*this);
  const std::int64_t size = static_cast<std::int64_t>(GetSize());
  const std::int64_t position = static_cast<std::int64_t>(GetPosition());
  const std::int64_t distance = position + count > size ? size - position : count;
  seek(distance, FILE_CURRENT);
  return static_cast<std::int32_t>(distance);
}

std::int32_t CDiskIOStream::Skip(long count) {
  if (count < std::numeric_limits<std::int32_t>::min() || count > std::numeric_limits<std::int32_t>::max()) {
    throw CInvalidArgError(this, nullptr, "Skip", "count beyond 32 bits");
  }
  return Skip(static_cast<std::int32_t>(count));
}

bool CDiskIOStream::IsAtEnd() const {
  COperation operation(*this);
  return GetPosition() >= GetSize();
}

void CDiskIOStream::WriteFully(const void* buffer, std::uint32_t count) {
  COperation operation(*this);
  // The system writes all of a disk file's bytes or fails.
  DWORD written = 0;
  if (!WriteFile(handle.load(std::memory_order_relaxed), buffer, count, &written, nullptr)) ThrowLastError();
}

std::uint32_t CDiskIOStream::Write(const void* buffer, std::uint32_t count) {
  WriteFully(buffer, count);
  return count;
}

void CDiskIOStream::Flush() {
  COperation operation(*this);
  if (!FlushFileBuffers(handle.load(std::memory_order_relaxed))) ThrowLastError();
}

P<IStreamMarker> CDiskIOStream::CreateMarker() { return make<CMarker>(GetPosition()); }

void CDiskIOStream::Reset(const P<IStreamMarker>& marker) {
  if (!marker) throw CInvalidArgError(this, nullptr, "Reset", "no marker");
  const IMarker* const saved = castOrThrow<IMarker>(marker.get());
  SeekFromStart(static_cast<std::int64_t>(saved->GetPosition()));
}

}  // namespace lumo::win32
