// Value lists: the typed getters' conversions, the case rule, clones, names, and the partitioned bucket.

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>
#include <tuple>
#include <typeinfo>

#include "foundation/CString.h"
#include "foundation/CURI.h"
#include "foundation/Cast.h"
#include "foundation/Exception.h"
#include "foundation/IEnum.h"
#include "settings/IValue.h"
#include "settings/PartitionedBucket.h"
#include "settings/ValueList.h"
#include "tests/foundation/FoundationTestSupport.h"

namespace lumo {
namespace {

constexpr std::int32_t kIntMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt64Min = std::numeric_limits<std::int64_t>::min();

// One object that answers the four numeric interfaces with the values 1 (IInt), 2 (IInt64), 3 (IFloat) and 4
// (IDouble), but lets a cast succeed only for the interfaces named in its mask.
enum Kind { kInt = 1, kInt64 = 2, kFloat = 4, kDouble = 8 };
template <class Interface, class Value, int kValue>
class TFixed : public Interface {
 public:
  void set(Value) override {}
  Value get() const override { return static_cast<Value>(kValue); }
};
class CNumbers final : public CObject,
                       public TFixed<IInt, std::int32_t, 1>,
                       public TFixed<IInt64, std::int64_t, 2>,
                       public TFixed<IFloat, float, 3>,
                       public TFixed<IDouble, double, 4> {
 public:
  explicit CNumbers(int mask) : mask(mask) {}
  bool getCastInfo(const std::type_info& wanted, IBase**, CastCandidate**) override {
    return (wanted == typeid(IInt) && (mask & kInt)) || (wanted == typeid(IInt64) && (mask & kInt64)) ||
           (wanted == typeid(IFloat) && (mask & kFloat)) || (wanted == typeid(IDouble) && (mask & kDouble));
  }

 private:
  ~CNumbers() override = default;
  int mask;
};

// What `convert` makes of `value`; 0 when it answers false. A conversion
// that answers true must also have set the result (it starts at 99).
template <class T>
T Got(bool (*convert)(IBase*, T&), IBase* value) {
  T result = static_cast<T>(99);
  return convert(value, result) ? result : T{};
}

TEST(ValueConversion, TriesTheInterfacesInTheOrderOfEachConversion) {
  // The mask, then what toInt, toInt64, toFloat and toDouble take from the object; 0 when they find nothing.
  const int cases[][5] = {
      {kInt | kInt64 | kFloat | kDouble, 1, 2, 3, 4},
      {kInt64 | kFloat | kDouble, 2, 2, 3, 4},
      {kFloat | kDouble, 4, 4, 3, 4},
      {kInt | kInt64 | kFloat, 1, 2, 3, 3},
      {kInt | kInt64, 1, 2, 2, 2},
      {kInt | kDouble, 1, 4, 4, 4},
      {kInt | kFloat, 1, 1, 3, 3},
      {kInt, 1, 1, 1, 1},
      {kFloat, 3, 3, 3, 3},
      {0, 0, 0, 0, 0},
  };
  for (const auto& [mask, asInt, asInt64, asFloat, asDouble] : cases) {
    SCOPED_TRACE(::testing::Message() << "mask " << mask);
    const P<CNumbers> value = make<CNumbers>(mask);
    EXPECT_EQ(Got(toInt, value.get()), asInt);
    EXPECT_EQ(Got(toInt64, value.get()), asInt64);
    EXPECT_EQ(Got(toFloat, value.get()), static_cast<float>(asFloat));
    EXPECT_EQ(Got(toDouble, value.get()), asDouble);
    EXPECT_FALSE(Got(toBool, value.get()));  // nothing numeric converts into a bool
  }
}

TEST(ValueConversion, TruncatesTowardZeroAndGivesTheIndefiniteValueOutOfRange) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::tuple<const char*, P<IBase>, std::int32_t, std::int64_t> cases[] = {
      {"2.9", make<CDouble>(2.9), 2, 2}, {"-2.9", make<CDouble>(-2.9), -2, -2},
      {"1e12", make<CDouble>(1e12), kIntMin, 1000000000000},
      {"2^31 - 0.5", make<CDouble>(2147483647.5), 2147483647, 2147483647},
      {"2^31", make<CDouble>(2147483648.0), kIntMin, 2147483648},
      {"-2^31 - 0.5", make<CDouble>(-2147483648.5), kIntMin, -2147483648},
      {"1e19", make<CDouble>(1e19), kIntMin, kInt64Min},
      {"2^63 - 1024", make<CDouble>(9223372036854774784.0), kIntMin, 9223372036854774784},
      {"NaN", make<CDouble>(nan), kIntMin, kInt64Min}, {"float -2.5", make<CFloat>(-2.5f), -2, -2},
      {"float -3e9", make<CFloat>(-3e9f), kIntMin, -3000000000},
      {"int64 2^32 + 5", make<CInt64>((std::int64_t{1} << 32) + 5), 5, (std::int64_t{1} << 32) + 5},
  };
  for (const auto& [name, value, asInt, asInt64] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Got(toInt, value.get()), asInt);
    EXPECT_EQ(Got(toInt64, value.get()), asInt64);
  }
}

P<CValueList> List(bool caseSensitive) { return make<CValueList>(caseSensitive); }

// The names the list enumerates, sorted: their order is the table's.
std::vector<std::string> Names(const IValueList& list) {
  std::vector<std::string> names;
  for (P<IConstEnum> e = list.getNames(); e->hasMore();)
    names.push_back(ToUTF8(P<IString>::share(cast<IString>(const_cast<IBase*>(e->next().get())))));
  std::sort(names.begin(), names.end());
  return names;
}

TEST(ValueList, CaseBlindListKeepsTheFirstSpellingAndOneEntry) {
  const P<CValueList> blind = List(false);
  EXPECT_TRUE(blind->setInt(u"Alpha", 1));
  EXPECT_FALSE(blind->setInt(u"ALPHA", 2));
  EXPECT_EQ(blind->getInt(u"alpha", 0), 2);
  EXPECT_EQ(Names(*blind), std::vector<std::string>{"Alpha"});
  EXPECT_TRUE(blind->contains(u"aLPHA"));
  // Folding covers more than ASCII.
  blind->setInt(u"\u00C9T\u00C9", 3);
  EXPECT_EQ(blind->getInt(u"\u00E9t\u00E9", 0), 3);
  const P<CValueList> exact = List(true);
  EXPECT_TRUE(exact->setInt(u"Alpha", 1));
  EXPECT_TRUE(exact->setInt(u"ALPHA", 2));
  EXPECT_EQ(exact->getInt(u"Alpha", 0), 1);
  EXPECT_EQ(exact->getInt(u"alpha", -5), -5);
  // A key stored as UTF-8 is found by the same text in UTF-16.
  exact->setBool(make<CUTF8String>(reinterpret_cast<const std::uint8_t*>("gr\xC3\xBC\xC3\x9F")), true);
  EXPECT_TRUE(exact->getBool(u"gr\u00FC\u00DF", false));
}

TEST(ValueList, TypedGettersGiveTheDefaultForMissingNullAndOtherKinds) {
  const P<CValueList> list = List(true);
  list->set(u"null", nullptr);
  list->setInt(u"int", 1);
  list->setBool(u"bool", true);
  list->setInt64(u"int64", 9);
  list->setFloat(u"float", 1.5f);
  list->setDouble(u"double", 2.25);
  list->set(u"text", String(u"x").get());
  list->set(u"nulltext", String().get());
  list->set(u"empty", String(u"").get());
  const P<IURI> uri = make<CURI>(String(u"file:///tmp/a.iso"));
  list->setObject(u"uri", uri.get());
  EXPECT_TRUE(list->contains(u"null"));
  EXPECT_EQ(list->get(u"null"), nullptr);
  for (const char16_t* name : {u"null", u"missing", u"text", u"uri"}) {
    EXPECT_EQ(list->getInt(name, -3), -3);
    EXPECT_EQ(list->getInt64(name, -4), -4);
    EXPECT_EQ(list->getFloat(name, -5.f), -5.f);
    EXPECT_EQ(list->getDouble(name, -6.0), -6.0);
    EXPECT_TRUE(list->getBool(name, true));
  }
  EXPECT_TRUE(list->getBool(u"bool", false));
  EXPECT_EQ(list->getInt64(u"int64", 0), 9);
  EXPECT_EQ(list->getFloat(u"float", 0), 1.5f);
  EXPECT_EQ(list->getDouble(u"double", 0), 2.25);
  const String fallback(u"fallback");
  EXPECT_EQ(ToUTF8(list->getString(u"text", fallback)), "x");
  EXPECT_EQ(list->getString(u"text", fallback).get(), list->get(u"text"));  // shared, not copied
  EXPECT_EQ(ToUTF8(list->getString(u"empty", fallback)), "");
  for (const char16_t* name : {u"nulltext", u"int", u"missing", u"null"})
    EXPECT_EQ(list->getString(name, fallback).get(), fallback.get()) << ToUTF8(String(name));
  EXPECT_EQ(list->getURI(u"uri", nullptr), uri);
  EXPECT_EQ(list->getURI(u"text", uri), uri);
}

TEST(ValueList, ReleasesWhatItHoldsAndSharesItThroughClones) {
  using test::TCounted;
  int destroyed = 0;
  P<CValueList> list = List(false);
  for (const char16_t* name : {u"a", u"b", u"c"}) list->set(name, make<TCounted<>>(destroyed));
  EXPECT_FALSE(list->remove(u"missing"));
  EXPECT_TRUE(list->remove(u"A"));
  EXPECT_EQ(destroyed, 1);
  list->set(u"B", make<TCounted<>>(destroyed));  // replaces: the old value goes
  EXPECT_EQ(destroyed, 2);
  const P<CValueList> nested = List(true);
  list->set(u"nested", nested);
  const P<IValueList> copy = list->clone();
  EXPECT_EQ(Names(*copy), Names(*list));
  P<IValueList> inner = P<IValueList>::share(cast<IValueList>(copy->get(u"NESTED")));
  inner->setInt(u"depth", 2);
  EXPECT_EQ(nested->getInt(u"depth", 0), 2);
  list->clear();
  EXPECT_EQ(destroyed, 2);  // the clone still holds them
  list->setInt(u"stale", 1);
  list->assign(*copy);
  EXPECT_FALSE(list->contains(u"stale"));
  list->assign(*list);
  EXPECT_EQ(Names(*list), Names(*copy));
  list = nullptr;
  inner = nullptr;
  EXPECT_EQ(destroyed, 2);
  copy->clear();
  EXPECT_EQ(destroyed, 4);
  EXPECT_TRUE(List(true)->clone()->isCaseSensitive());  // the copy takes the source's case rule
}

TEST(ValueList, NameEnumeratorVisitsEveryBucketEndsAndResets) {
  const P<CValueList> list = List(true);
  EXPECT_THROW(list->getNames()->next(), CEndOfEnumError);
  std::vector<std::string> expected;
  for (int n = 0; n < 30; ++n) {
    expected.push_back("name" + std::to_string(n));
    list->setInt(String(expected.back().c_str()), n);
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Names(*list), expected);
  const P<IConstEnum> names = list->getNames();
  EXPECT_EQ(names->getCount(), -1);
  while (names->hasMore()) names->next();
  EXPECT_THROW(names->next(), CEndOfEnumError);
  names->reset();
  EXPECT_TRUE(names->hasMore());
}

TEST(PartitionedBucket, KeepsOnePartitionPerCaseBlindKey) {
  int destroyed = 0;
  {
    const P<IPartitionedBucket> bucket = make<CPartitionedBucket>();
    const P<IBase> a = make<test::TCounted<>>(destroyed), b = make<test::TCounted<>>(destroyed),
                   c = make<test::TCounted<>>(destroyed);
    bucket->add(u"CD", a);
    bucket->add(u"cd", b);
    bucket->add(u"dvd", c);
    EXPECT_EQ(bucket->getKeyCount(), 2);
    EXPECT_EQ(bucket->getCount(*String(u"Cd")), 2);
    EXPECT_EQ(bucket->getTotalCount(), 3);
    EXPECT_TRUE(bucket->containsKey(*String(u"DVD")));
    EXPECT_FALSE(bucket->containsKey(*String(u"bd")));
    EXPECT_EQ(bucket->getCount(*String(u"bd")), 0);
    EXPECT_FALSE(bucket->enumeratePartition(*String(u"bd"))->hasMore());
    const P<IEnum> cd = bucket->enumeratePartition(*String(u"cd"));
    EXPECT_EQ(cd->nextModifiable(), a);
    EXPECT_EQ(bucket->enumerate()->getCount(), 3);
    EXPECT_FALSE(bucket->remove(*String(u"cd"), c.get()));
    EXPECT_TRUE(bucket->remove(*String(u"cd"), a.get()));
    EXPECT_FALSE(bucket->remove(*String(u"bd"), a.get()));
    EXPECT_EQ(bucket->getPartition(*String(u"CD"))->getCount(), 1);
    EXPECT_TRUE(bucket->removePartition(*String(u"dvd")));
    bucket->clear();
    EXPECT_EQ(bucket->getKeyCount(), 0);
  }
  EXPECT_EQ(destroyed, 3);
}

}  // namespace
}  // namespace lumo
