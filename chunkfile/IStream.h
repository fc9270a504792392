// The chunk file library's own interfaces: a random-access byte stream with
// space insertion and removal, and the listeners that keep open chunks right
// when space moves under them.
//
//   chf::TRef<chf::IStream> file = chf::TRef<chf::IStream>::adopt(new chf::CLumoFileStream(uri, lumo::kShareRead));
//   file->Seek(16);
//   file->Insert(10);   // what followed position 16 now starts at 26
#pragma once

#include <cstdint>
#include <utility>

namespace chf {

class CChunkStream;

class IInterface {
 public:
  virtual ~IInterface() = default;
};

// Positions and sizes are unsigned 64-bit; buffer lengths signed 32-bit.
class IStream : public virtual IInterface {
 public:
  virtual void AddRef() = 0;
  // Deletes the object when the last reference goes.
  virtual void Release() = 0;
  virtual std::uint64_t Tell() = 0;
  virtual std::uint64_t GetSize() = 0;
  virtual void Seek(std::uint64_t position) = 0;
  virtual void Write(const void* buffer, std::int32_t count) = 0;
  virtual void Read(void* buffer, std::int32_t count) = 0;
  // Opens `count` bytes at the current position; what followed moves up.
  virtual void Insert(std::uint64_t count) = 0;
  // Drops `count` bytes at the current position; what followed moves down.
  virtual void Remove(std::uint64_t count) = 0;
};

// Told when space appears or goes in the shared file stream. `position` is
// absolute in that stream; `source` is the chunk stream where the change was
// made, or null when the change is passed down from a holder.
class IChunkSpaceListener : public virtual IInterface {
 public:
  virtual void SpaceInserted(CChunkStream* source, std::uint64_t position, std::uint64_t count) = 0;
  virtual void SpaceRemoved(CChunkStream* source, std::uint64_t position, std::uint64_t count) = 0;
};

// What opened a chunk stream: it keeps the list of its open children.
class IChunkHolder : public virtual IChunkSpaceListener {
 public:
  virtual void AddRef() = 0;
  virtual void Release() = 0;
  virtual void DetachChild(CChunkStream* child) = 0;
};

// An owning pointer for the library's counted objects; adopting the reference
// of a new object and sharing an existing one are spelled apart.
template <class T>
class TRef {
 public:
  TRef() = default;
  [[nodiscard]] static TRef adopt(T* fresh) noexcept {
    TRef result;
    result.object = fresh;
    return result;
  }
  [[nodiscard]] static TRef share(T* owned) noexcept {
    if (owned) owned->AddRef();
    return adopt(owned);
  }
  TRef(const TRef& other) noexcept : TRef(share(other.object)) {}
  TRef(TRef&& other) noexcept : object(std::exchange(other.object, nullptr)) {}
  TRef& operator=(TRef other) noexcept {
    std::swap(object, other.object);
    return *this;
  }
  ~TRef() { reset(); }

  // Drops the reference now; the release may raise when a size written back
  // on the way fails.
  void reset() {
    if (T* old = std::exchange(object, nullptr)) old->Release();
  }
  T* get() const noexcept { return object; }
  T* operator->() const noexcept { return object; }
  T& operator*() const noexcept { return *object; }
  explicit operator bool() const noexcept { return object != nullptr; }

 private:
  T* object = nullptr;
};

}  // namespace chf
