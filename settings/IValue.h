// Boxed scalars: the five value kinds a value list stores as objects, and the
// conversions between them that the list's typed getters use.
//
//   lumo::P<lumo::IInt> retries = lumo::make<lumo::CInt>(3);
//   std::int32_t count = 0;
//   if (lumo::toInt(value.get(), count)) use(count);
#pragma once

#include <cstdint>

#include "foundation/IBase.h"
#include "foundation/Object.h"

namespace lumo {

class IInt : public virtual IBase {
 public:
  virtual void set(std::int32_t value) = 0;
  virtual std::int32_t get() const = 0;
};

class IInt64 : public virtual IBase {
 public:
  virtual void set(std::int64_t value) = 0;
  virtual std::int64_t get() const = 0;
};

class IFloat : public virtual IBase {
 public:
  virtual void set(float value) = 0;
  virtual float get() const = 0;
};

class IDouble : public virtual IBase {
 public:
  virtual void set(double value) = 0;
  virtual double get() const = 0;
};

class IBool : public virtual IBase {
 public:
  virtual void set(bool value) = 0;
  virtual bool get() const = 0;
};

// One boxed scalar: the value lives inside the object and changes through
// `set`, so every holder of the object sees the change.
template <class Interface, class Value>
class TBoxedValue : public CObject, public Interface {
 public:
  explicit TBoxedValue(Value value) noexcept : value(value) {}
  void set(Value newValue) override { value = newValue; }
  Value get() const override { return value; }

 protected:
  ~TBoxedValue() override = default;

 private:
  Value value;
};

class CInt final : public TBoxedValue<IInt, std::int32_t> {
 public:
  using TBoxedValue::TBoxedValue;
 protected:
  ~CInt() override = default;
};
class CInt64 final : public TBoxedValue<IInt64, std::int64_t> {
 public:
  using TBoxedValue::TBoxedValue;
 protected:
  ~CInt64() override = default;
};
class CFloat final : public TBoxedValue<IFloat, float> {
 public:
  using TBoxedValue::TBoxedValue;
 protected:
  ~CFloat() override = default;
};
class CDouble final : public TBoxedValue<IDouble, double> {
 public:
  using TBoxedValue::TBoxedValue;
 protected:
  ~CDouble() override = default;
};
class CBool final : public TBoxedValue<IBool, bool> {
 public:
  using TBoxedValue::TBoxedValue;
 protected:
  ~CBool() override = default;
};

// Each conversion asks `value` for the interfaces of its row in a fixed order
// and converts from the first one it finds:
//   toBool    IBool only: nothing else converts into a bool
//   toInt     IInt; IInt64 (its low 32 bits); IDouble, IFloat (truncated)
//   toInt64   IInt64; IDouble (truncated); IInt; IFloat (truncated)
//   toFloat   IFloat; IDouble (rounded); IInt64; IInt
//   toDouble  IDouble; IFloat; IInt64; IInt
// A truncation toward zero that does not fit the integer gives the
// processor's "integer indefinite" value, the type's most negative number
// (-2147483648 for 32 bits); so does a NaN. Each answers false and leaves
// `result` untouched when `value` is null or of no convertible kind.
bool toBool(IBase* value, bool& result);
bool toInt(IBase* value, std::int32_t& result);
bool toInt64(IBase* value, std::int64_t& result);
bool toFloat(IBase* value, float& result);
bool toDouble(IBase* value, double& result);

}  // namespace lumo
