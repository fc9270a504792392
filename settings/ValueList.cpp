// Value lists over the library's hash table, and the conversions of boxed
// scalars.
#include "settings/ValueList.h"

#include <cmath>
#include <limits>
#include <type_traits>
#include <typeinfo>

#include "foundation/Cast.h"
#include "foundation/Exception.h"
#include "foundation/IEnum.h"
#include "foundation/IURI.h"
#include "settings/IValue.h"

namespace lumo {

namespace {

// Truncation toward zero, or the integer indefinite value (the type's most
// negative number) when the result does not fit or there is none (NaN).
template <class Integer, class Real>
Integer Truncate(Real value) {
  constexpr Real lowest = static_cast<Real>(std::numeric_limits<Integer>::min());  // -2^(n-1), exact
  if (!(value > lowest - 1 && value < -lowest)) return std::numeric_limits<Integer>::min();
  return static_cast<Integer>(value);
}

// The interface a box holds its value behind.
template <class Interface, class Value>
Interface* InterfaceOf(TBoxedValue<Interface, Value>*);
template <class Box>
using InterfaceOfBox = std::remove_pointer_t<decltype(InterfaceOf(static_cast<Box*>(nullptr)))>;

// The value as the interface of `Box`, or null. The boxes are final and
// steer no cast, so a box's type alone says which of the five interfaces it
// has; other objects go through cast, whose search for an interface from
// IBase was most of a typed getter's time.
template <class Box>
const InterfaceOfBox<Box>* As(IBase* value) {
  if (!value) return nullptr;
  const std::type_info& type = typeid(*value);
  if (type == typeid(Box)) return static_cast<const Box*>(dynamic_cast<const void*>(value));
  if (type == typeid(CInt) || type == typeid(CInt64) || type == typeid(CFloat) || type == typeid(CDouble) ||
      type == typeid(CBool)) {
    return nullptr;
  }
  return cast<InterfaceOfBox<Box>>(value);
}

template <class Box, class Result>
bool TryGet(IBase* value, Result& result) {
  if (const auto* found = As<Box>(value)) {
    result = static_cast<Result>(found->get());
    return true;
  }
  return false;
}

template <class Box, class Integer>
bool TryTruncate(IBase* value, Integer& result) {
  if (const auto* found = As<Box>(value)) {
    result = Truncate<Integer>(found->get());
    return true;
  }
  return false;
}

}  // namespace

bool toBool(IBase* value, bool& result) { return TryGet<CBool>(value, result); }

bool toInt(IBase* value, std::int32_t& result) {
  return TryGet<CInt>(value, result) || TryGet<CInt64>(value, result) || TryTruncate<CDouble>(value, result) ||
         TryTruncate<CFloat>(value, result);
}

bool toInt64(IBase* value, std::int64_t& result) {
  return TryGet<CInt64>(value, result) || TryTruncate<CDouble>(value, result) || TryGet<CInt>(value, result) ||
         TryTruncate<CFloat>(value, result);
}

bool toFloat(IBase* value, float& result) {
  return TryGet<CFloat>(value, result) || TryGet<CDouble>(value, result) || TryGet<CInt64>(value, result) ||
         TryGet<CInt>(value, result);
}

bool toDouble(IBase* value, double& result) {
  return TryGet<CDouble>(value, result) || TryGet<CFloat>(value, result) || TryGet<CInt64>(value, result) ||
         TryGet<CInt>(value, result);
}

// Walks the list's table bucket by bucket in ascending order and down each
// chain. It keeps the list alive but reads the live table: the list must not
// change while its names are enumerated.
class CValueList::CNameEnum final : public CObject, public IConstEnum {
 public:
  explicit CNameEnum(const CValueList& list) : list(PC<CValueList>::share(&list)) { reset(); }

  bool hasMore() override { return node != nullptr; }
  std::int32_t getCount() override { return -1; }
  PC<IBase> next() override {
    if (!node) throw CEndOfEnumError(this, nullptr);
    PC<IBase> name = static_cast<const Table::Node*>(node)->value.name.get();
    node = node->next;
    if (!node) moveToBucketAfter(bucket);
    return name;
  }
  void reset() override {
    buckets = list->entries.getBuckets();
    bucketCount = list->entries.getBucketCount();
    moveToBucketAfter(-1);
  }

 protected:
  ~CNameEnum() override = default;

 private:
  // Positions on the first node of the first non-empty bucket after `after`.
  void moveToBucketAfter(std::int32_t after) {
    node = nullptr;
    for (bucket = after + 1; bucket < bucketCount; ++bucket) {
      if ((node = buckets[bucket])) return;
    }
  }

  PC<CValueList> list;
  Table::NodeBase* const* buckets;
  std::int32_t bucketCount;
  std::int32_t bucket;
  const Table::NodeBase* node;
};

CValueList::CValueList(bool caseSensitive) : caseSensitive(caseSensitive) {}

CValueList::CValueList(const IValueList& source) : caseSensitive(source.isCaseSensitive()) { assign(source); }

P<IBase> CValueList::get(const String& name) const { return P<IBase>::share(peek(name)); }

namespace {

template <class Result>
Result Convert(IBase* value, bool (*convert)(IBase*, Result&), Result fallback) {
  convert(value, fallback);
  return fallback;
}

}  // namespace

bool CValueList::getBool(const String& name, bool fallback) const { return Convert(peek(name), toBool, fallback); }
std::int32_t CValueList::getInt(const String& name, std::int32_t fallback) const {
  return Convert(peek(name), toInt, fallback);
}
std::int64_t CValueList::getInt64(const String& name, std::int64_t fallback) const {
  return Convert(peek(name), toInt64, fallback);
}
float CValueList::getFloat(const String& name, float fallback) const { return Convert(peek(name), toFloat, fallback); }
double CValueList::getDouble(const String& name, double fallback) const {
  return Convert(peek(name), toDouble, fallback);
}

String CValueList::getString(const String& name, const String& fallback) const {
  IString* text = cast<IString>(peek(name));
  if (!text || text->isNull()) return fallback;
  return P<IString>::share(text);
}

P<IURI> CValueList::getURI(const String& name, const P<IURI>& fallback) const {
  IURI* uri = cast<IURI>(peek(name));
  return uri ? P<IURI>::share(uri) : fallback;
}

bool CValueList::set(const String& name, P<IBase> value) {
  const String key = keyOf(name);
  if (Entry* entry = entries.find(key)) {
    entry->value = std::move(value);
    return false;
  }
  entries.insert(key, Entry{name, std::move(value)});
  return true;
}

bool CValueList::setInt(const String& name, std::int32_t value) { return set(name, make<CInt>(value)); }
bool CValueList::setInt64(const String& name, std::int64_t value) { return set(name, make<CInt64>(value)); }
bool CValueList::setBool(const String& name, bool value) { return set(name, make<CBool>(value)); }
bool CValueList::setDouble(const String& name, double value) { return set(name, make<CDouble>(value)); }
bool CValueList::setFloat(const String& name, float value) { return set(name, make<CFloat>(value)); }

bool CValueList::setObject(const String& name, IBase* object) {
  return set(name, P<IBase>::share(castOrThrow<IBase>(object)));
}

P<IConstEnum> CValueList::getNames() const { return make<CNameEnum>(*this); }

P<IValueList> CValueList::clone() const { return make<CValueList>(*this); }

IValueList& CValueList::assign(const IValueList& source) {
  // Assigning a list to itself keeps it as it is rather than clearing it
  // first and then finding nothing left to copy.
  if (&source == static_cast<const IValueList*>(this)) return *this;
  clear();
  caseSensitive = source.isCaseSensitive();
  for (P<IConstEnum> names = source.getNames(); names->hasMore();) {
    const String name = P<IString>::share(castOrThrow<IString>(const_cast<IBase*>(names->next().get())));
    set(name, source.get(name));
  }
  return *this;
}

}  // namespace lumo
