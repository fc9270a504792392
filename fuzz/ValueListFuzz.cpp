// Value lists against a model: a case-sensitive or case-blind list takes a
// run of sets, removals, typed reads, clones and assignments, and after each
// step must agree with a std::map from the folded name to the first spelling
// and the value. Values are the five boxes, strings, null, and an object
// that answers the numeric interfaces and bool but lets only some casts
// succeed, so that the typed getters' conversions are checked along each
// row of their order (settings/IValue.h) with truncations worked out in
// long double.

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <vector>

#include "foundation/CString.h"
#include "foundation/CaseTable.h"
#include "foundation/Cast.h"
#include "foundation/IEnum.h"
#include "settings/IValue.h"
#include "settings/ValueList.h"

namespace {

using lumo::String;
using Text = std::u32string;

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
  }
}

enum Mask { kBool = 1, kInt = 2, kInt64 = 4, kFloat = 8, kDouble = 16 };

// What the masked object below answers through the interface of `Value`:
// its number, clamped into range so that the object itself stays defined.
template <class Value>
Value Answer(double number) {
  if constexpr (std::is_same_v<Value, bool>) {
    return number != 0;
  } else if constexpr (std::is_same_v<Value, double>) {
    return number;
  } else {
    const double limit = std::is_same_v<Value, float> ? 3.0e38 : std::is_same_v<Value, std::int32_t> ? 2.0e9 : 9.0e18;
    return static_cast<Value>(std::isnan(number) ? 0 : std::fmax(-limit, std::fmin(limit, number)));
  }
}

template <class Interface, class Value>
class TAnswer : public Interface {
 public:
  void set(Value) override {}
  Value get() const override { return Answer<Value>(number()); }

 protected:
  virtual double number() const = 0;
};

// One object behind all five scalar interfaces, whose casts succeed only
// for the interfaces in its mask.
class CMasked final : public lumo::CObject,
                      public TAnswer<lumo::IBool, bool>,
                      public TAnswer<lumo::IInt, std::int32_t>,
                      public TAnswer<lumo::IInt64, std::int64_t>,
                      public TAnswer<lumo::IFloat, float>,
                      public TAnswer<lumo::IDouble, double> {
 public:
  CMasked(int mask, double value) : mask(mask), value(value) {}
  bool getCastInfo(const std::type_info& wanted, lumo::IBase**, lumo::CastCandidate**) override {
    return (wanted == typeid(lumo::IBool) && (mask & kBool)) || (wanted == typeid(lumo::IInt) && (mask & kInt)) ||
           (wanted == typeid(lumo::IInt64) && (mask & kInt64)) || (wanted == typeid(lumo::IFloat) && (mask & kFloat)) ||
           (wanted == typeid(lumo::IDouble) && (mask & kDouble)) || wanted == typeid(lumo::IBase);
  }
  double number() const override { return value; }

  const int mask;
  const double value;

 private:
  ~CMasked() override = default;
};

// A value as the model keeps it: the interfaces it answers and what each
// answers, or a string, or null.
struct Value {
  enum class Kind { kNull, kScalar, kString } kind = Kind::kNull;
  int mask = 0;
  bool b = false;
  std::int32_t i = 0;
  std::int64_t l = 0;
  float f = 0;
  double d = 0;
  String text;
};

// Truncation toward zero; the type's most negative number when it does not
// fit or for NaN.
template <class Integer>
Integer Truncated(long double value) {
  constexpr Integer lowest = std::numeric_limits<Integer>::min();
  if (std::isnan(value)) return lowest;
  const long double whole = std::trunc(value);
  if (whole < static_cast<long double>(lowest) ||
      whole > static_cast<long double>(std::numeric_limits<Integer>::max())) {
    return lowest;
  }
  return static_cast<Integer>(whole);
}

// The conversions' rows: the first interface of each row that the value
// answers gives the result.
std::optional<bool> AsBool(const Value& v) {
  if (v.mask & kBool) return v.b;
  return std::nullopt;
}
std::optional<std::int32_t> AsInt(const Value& v) {
  if (v.mask & kInt) return v.i;
  if (v.mask & kInt64) return static_cast<std::int32_t>(static_cast<std::uint32_t>(v.l));
  if (v.mask & kDouble) return Truncated<std::int32_t>(v.d);
  if (v.mask & kFloat) return Truncated<std::int32_t>(v.f);
  return std::nullopt;
}
std::optional<std::int64_t> AsInt64(const Value& v) {
  if (v.mask & kInt64) return v.l;
  if (v.mask & kDouble) return Truncated<std::int64_t>(v.d);
  if (v.mask & kInt) return v.i;
  if (v.mask & kFloat) return Truncated<std::int64_t>(v.f);
  return std::nullopt;
}
std::optional<float> AsFloat(const Value& v) {
  if (v.mask & kFloat) return v.f;
  if (v.mask & kDouble) return static_cast<float>(v.d);
  if (v.mask & kInt64) return static_cast<float>(v.l);
  if (v.mask & kInt) return static_cast<float>(v.i);
  return std::nullopt;
}
std::optional<double> AsDouble(const Value& v) {
  if (v.mask & kDouble) return v.d;
  if (v.mask & kFloat) return v.f;
  if (v.mask & kInt64) return static_cast<double>(v.l);
  if (v.mask & kInt) return v.i;
  return std::nullopt;
}

template <class T>
bool Same(T a, T b) {
  if constexpr (std::is_floating_point_v<T>) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  }
  return a == b;
}

// Names from a few letters with case pairs, the odd members of the case
// table and an astral character, in any of four encodings.
Text ConsumeName(FuzzedDataProvider& in) {
  static const char32_t kLetters[] = U"aAbB\u00e9\u00c9\u0130i\u03a3\u03c3\u03c2\u212a\U0001F600";
  Text name;
  for (int n = in.ConsumeIntegralInRange(0, 4); n > 0; --n) name += in.PickValueInArray(kLetters);
  return name;
}

String Spell(FuzzedDataProvider& in, const Text& name) {
  const std::u32string copy = name;  // NUL-terminated for the UTF-32 string
  const String utf32 = lumo::make<lumo::CUTF32String>(reinterpret_cast<const std::uint32_t*>(copy.c_str()),
                                                      static_cast<std::int32_t>(copy.size() * 4));
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
      return utf32;
    case 1:
      return lumo::CString::convert(*utf32, lumo::GetUTF8CharEncoding());
    case 2:
      return lumo::CString::convert(*utf32, lumo::GetUTF16CharEncoding());
    default: {
      for (const char32_t c : name) {
        if (c > 0xFF) return utf32;
      }
      return lumo::CString::convert(*utf32, lumo::GetLatin1CharEncoding());
    }
  }
}

Text CodePoints(const String& text) {
  Text out;
  for (std::int32_t i = 0; i < text.length(); ++i) out += static_cast<char32_t>(text->charAt(i));
  return out;
}

struct Model {
  bool caseSensitive;
  std::map<Text, std::pair<Text, Value>> entries;  // by key: the first spelling and the value

  Text key(const Text& name) const {
    Text folded = name;
    if (!caseSensitive) {
      for (char32_t& c : folded) c = lumo::ToLowerCase(c);
    }
    return folded;
  }
  // Whether the name made a new entry.
  bool set(const Text& name, const Value& value) {
    const auto [at, added] = entries.try_emplace(key(name), name, value);
    if (!added) at->second.second = value;
    return added;
  }
  const Value* find(const Text& name) const {
    const auto at = entries.find(key(name));
    return at == entries.end() ? nullptr : &at->second.second;
  }
};

// Every name the model holds reads back as the model says, and the list
// names exactly the model's spellings.
void CheckAll(const lumo::IValueList& list, const Model& model) {
  std::multiset<Text> spellings;
  for (const auto& [key, entry] : model.entries) spellings.insert(entry.first);
  std::multiset<Text> named;
  for (lumo::P<lumo::IConstEnum> names = list.getNames(); names->hasMore();) {
    named.insert(CodePoints(String(lumo::P<lumo::IString>::share(
        lumo::castOrThrow<lumo::IString>(const_cast<lumo::IBase*>(names->next().get()))))));
  }
  Check(named == spellings, "the names differ from the model's");
  Check(list.isCaseSensitive() == model.caseSensitive, "the case rule changed");
}

void CheckRead(const lumo::IValueList& list, const Model& model, const String& name, const Text& text) {
  const Value* value = model.find(text);
  Check(list.contains(name) == (value != nullptr), "contains");
  const Value none;
  const Value& v = value ? *value : none;
  Check(list.getBool(name, true) == AsBool(v).value_or(true), "getBool");
  Check(list.getInt(name, -7) == AsInt(v).value_or(-7), "getInt");
  Check(list.getInt64(name, -7) == AsInt64(v).value_or(-7), "getInt64");
  Check(Same(list.getFloat(name, -7.5f), AsFloat(v).value_or(-7.5f)), "getFloat");
  Check(Same(list.getDouble(name, -7.5), AsDouble(v).value_or(-7.5)), "getDouble");
  const String fallback("fallback");
  const String got = list.getString(name, fallback);
  const bool isText = v.kind == Value::Kind::kString && !v.text.isNull();
  Check(isText ? got.get() == v.text.get() : got.get() == fallback.get(), "getString");
  Check((list.get(name).get() == nullptr) == (v.kind == Value::Kind::kNull), "get");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  Model model{in.ConsumeBool(), {}};
  lumo::P<lumo::IValueList> list = lumo::make<lumo::CValueList>(model.caseSensitive);
  while (in.remaining_bytes() > 0) {
    const Text text = ConsumeName(in);
    const String name = Spell(in, text);
    Value value;
    value.kind = Value::Kind::kScalar;
    bool added = false;
    switch (in.ConsumeIntegralInRange(0, 12)) {
      case 0:
        value.mask = kInt;
        value.i = in.ConsumeIntegral<std::int32_t>();
        added = list->setInt(name, value.i);
        break;
      case 1:
        value.mask = kInt64;
        value.l = in.ConsumeIntegral<std::int64_t>();
        added = list->setInt64(name, value.l);
        break;
      case 2:
        value.mask = kBool;
        value.b = in.ConsumeBool();
        added = list->setBool(name, value.b);
        break;
      case 3:
        value.mask = kDouble;
        value.d = in.ConsumeFloatingPoint<double>();
        added = list->setDouble(name, value.d);
        break;
      case 4:
        value.mask = kFloat;
        value.f = in.ConsumeFloatingPoint<float>();
        added = list->setFloat(name, value.f);
        break;
      case 5: {
        value.kind = Value::Kind::kString;
        value.text = in.ConsumeBool() ? String() : Spell(in, ConsumeName(in));
        added = list->set(name, value.text.get());
        break;
      }
      case 6:
        value.kind = Value::Kind::kNull;
        added = list->set(name, nullptr);
        break;
      case 7: {
        // Any mix of the five interfaces, all answering one number.
        const auto masked = lumo::make<CMasked>(in.ConsumeIntegralInRange(0, 31), in.ConsumeFloatingPoint<double>());
        value.mask = masked->mask;
        value.b = Answer<bool>(masked->value);
        value.i = Answer<std::int32_t>(masked->value);
        value.l = Answer<std::int64_t>(masked->value);
        value.f = Answer<float>(masked->value);
        value.d = Answer<double>(masked->value);
        added = list->setObject(name, static_cast<lumo::IBool*>(masked.get()));
        break;
      }
      case 8:
        Check(list->remove(name) == (model.entries.erase(model.key(text)) == 1), "remove");
        continue;
      case 9:
        CheckRead(*list, model, name, text);
        continue;
      case 10:
        list->clear();
        model.entries.clear();
        continue;
      case 11:
        // A clone holds the same; assigning it back changes nothing.
        if (in.ConsumeBool()) {
          list = list->clone();
        } else {
          list->assign(*list->clone());
        }
        CheckAll(*list, model);
        continue;
      default:
        CheckAll(*list, model);
        continue;
    }
    Check(added == model.set(text, value), "a setter's answer");
  }
  CheckAll(*list, model);
  for (const auto& [key, entry] : model.entries) CheckRead(*list, model, Spell(in, entry.first), entry.first);
  return 0;
}
