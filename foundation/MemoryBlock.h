// IMemoryBlock and CMemoryBlock: a shared, growable byte buffer for raw bytes
// passed between streams and handlers.
//
//   lumo::P<lumo::IMemoryBlock> block = lumo::make<lumo::CMemoryBlock>();
//   block->reserve(total);              // growth is exact: reserve ahead
//   block->assign(header, headerSize);
//
// Sizes and capacities are signed 32-bit byte counts; a negative one is
// refused with CInvalidArgError. The buffer is not locked.
#pragma once

#include <cstdint>

#include "foundation/IBase.h"
#include "foundation/Object.h"

namespace lumo {

class IMemoryBlock : public virtual IBase {
 public:
  // Reallocates to exactly `capacity` bytes, keeping the first bytes in
  // use; below the size, the size shrinks with it. 0 frees the buffer.
  virtual void setCapacity(std::int32_t capacity) = 0;
  // setCapacity(capacity) when the capacity is below it, else nothing.
  virtual void reserve(std::int32_t capacity) = 0;
  virtual std::int32_t getCapacity() const = 0;
  // Reserves `size` bytes and puts them in use; new bytes are not cleared.
  virtual void setSize(std::int32_t size) = 0;
  virtual std::int32_t getSize() const = 0;
  // The bytes; null while the capacity is 0.
  virtual const std::uint8_t* getData() const = 0;
  virtual std::uint8_t* getData() = 0;
  // setSize(size), then copies `size` bytes from `data` to the start.
  virtual void assign(const void* data, std::int32_t size) = 0;
};

class CMemoryBlock : public CObject, public IMemoryBlock {
 public:
  CMemoryBlock() = default;

  void setCapacity(std::int32_t capacity) override;
  void reserve(std::int32_t capacity) override;
  std::int32_t getCapacity() const override { return capacity; }
  void setSize(std::int32_t size) override;
  std::int32_t getSize() const override { return size; }
  const std::uint8_t* getData() const override { return data; }
  std::uint8_t* getData() override { return data; }
  void assign(const void* data, std::int32_t size) override;

 protected:
  ~CMemoryBlock() override;

 private:
  std::uint8_t* data = nullptr;
  std::int32_t capacity = 0;
  std::int32_t size = 0;
};

}  // namespace lumo
