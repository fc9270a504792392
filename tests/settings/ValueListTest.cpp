// Value lists: the conversions of the typed getters, the case rule and the
// first spelling, sharing through clones, the name enumerator, and the
// partitioned bucket built on a list.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <typeinfo>

#include "foundation/CString.h"
#include "foundation/CURI.h"
#include "foundation/Cast.h"
#include "foundation/Exception.h"
#include "foundation/IArray.h"
#include "foundation/IEnum.h"
#include "settings/IValue.h"
#include "settings/PartitionedBucket.h"
#include "settings/ValueList.h"
#include "tests/foundation/FoundationTestSupport.h"

namespace lumo {
namespace {

constexpr std::int32_t kIntMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt64Min = std::numeric_limits<std::int64_t>::min();

// One object that answers the four numeric interfaces with the values 1
// (IInt), 2 (IInt64), 3 (IFloat) and 4 (IDouble), but lets a cast succeed
// only for the interfaces named in its mask.
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

// What each conversion takes from the object; 0 when it finds nothing.
struct OrderCase {
  int mask;
  int toInt, toInt64, toFloat, toDouble;
};

TEST(ValueConversion, TriesTheInterfacesInTheOrderOfEachConversion) {
  const OrderCase cases[] = {
      {kInt | kInt64 | kFloat | kDouble, 1, 2, 3, 4},
      {kInt64 | kFloat | kDouble, 2, 2, 3, 4},
      {kFloat | kDouble, 4, 4, 3, 4},
      {kInt | kInt64 | kFloat, 1, 2, 3, 3},
      {kInt | kInt64, 1, 2, 2, 2},
      {kInt | kDouble, 1, 4, 4, 4},
      {kInt | kFloat, 1, 1, 3, 3},
      {kInt64 | kFloat, 2, 2, 3, 3},
      {kInt, 1, 1, 1, 1},
      {kFloat, 3, 3, 3, 3},
      {0, 0, 0, 0, 0},
  };
  for (const OrderCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << "mask " << c.mask);
    const P<CNumbers> value = make<CNumbers>(c.mask);
    std::int32_t i = 0;
    std::int64_t i64 = 0;
    float f = 0;
    double d = 0;
    bool b = false;
    EXPECT_EQ(toInt(value.get(), i), c.toInt != 0);
    EXPECT_EQ(toInt64(value.get(), i64), c.toInt64 != 0);
    EXPECT_EQ(toFloat(value.get(), f), c.toFloat != 0);
    EXPECT_EQ(toDouble(value.get(), d), c.toDouble != 0);
    EXPECT_EQ(i, c.toInt);
    EXPECT_EQ(i64, c.toInt64);
    EXPECT_EQ(f, static_cast<float>(c.toFloat));
    EXPECT_EQ(d, c.toDouble);
    // Nothing numeric converts into a bool.
    EXPECT_FALSE(toBool(value.get(), b));
  }
}

struct NumberCase {
  const char* name;
  P<IBase> value;
  std::int32_t asInt;
  std::int64_t asInt64;
};

TEST(ValueConversion, TruncatesTowardZeroAndGivesTheIndefiniteValueOutOfRange) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const NumberCase cases[] = {
      {"2.9", make<CDouble>(2.9), 2, 2}, {"-2.9", make<CDouble>(-2.9), -2, -2},
      {"1e12", make<CDouble>(1e12), kIntMin, 1000000000000},
      {"-1e12", make<CDouble>(-1e12), kIntMin, -1000000000000},
      {"2^31 - 0.5", make<CDouble>(2147483647.5), 2147483647, 2147483647},
      {"2^31", make<CDouble>(2147483648.0), kIntMin, 2147483648},
      {"-2^31 - 0.5", make<CDouble>(-2147483648.5), kIntMin, -2147483648},
      {"-2^31 + 0.5", make<CDouble>(-2147483647.5), -2147483647, -2147483647},
      {"1e19", make<CDouble>(1e19), kIntMin, kInt64Min},
      {"2^63 - 1024", make<CDouble>(9223372036854774784.0), kIntMin, 9223372036854774784},
      {"NaN", make<CDouble>(nan), kIntMin, kInt64Min}, {"float -2.5", make<CFloat>(-2.5f), -2, -2},
      {"float -3e9", make<CFloat>(-3e9f), kIntMin, -3000000000},
      {"int64 2^32 + 5", make<CInt64>((std::int64_t{1} << 32) + 5), 5, (std::int64_t{1} << 32) + 5},
      {"int64 -1", make<CInt64>(-1), -1, -1}, {"int -7", make<CInt>(-7), -7, -7},
  };
  for (const NumberCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::int32_t i = 0;
    std::int64_t i64 = 0;
    EXPECT_TRUE(toInt(c.value.get(), i));
    EXPECT_TRUE(toInt64(c.value.get(), i64));
    EXPECT_EQ(i, c.asInt);
    EXPECT_EQ(i64, c.asInt64);
  }
}

P<CValueList> List(bool caseSensitive) { return make<CValueList>(caseSensitive); }

// The names the list enumerates, in their order.
std::vector<std::string> Names(const IValueList& list) {
  std::vector<std::string> names;
  for (P<IConstEnum> e = list.getNames(); e->hasMore();) {
    names.push_back(ToUTF8(P<IString>::share(cast<IString>(const_cast<IBase*>(e->next().get())))));
  }
  return names;
}

// The same, sorted: a copy inserts in the source's order, which reverses
// the order within a chain.
std::vector<std::string> SortedNames(const IValueList& list) {
  std::vector<std::string> names = Names(list);
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
  EXPECT_FALSE(blind->isCaseSensitive());
  // Folding covers more than ASCII.
  blind->setInt(u"\u00C9T\u00C9", 3);
  EXPECT_EQ(blind->getInt(u"\u00E9t\u00E9", 0), 3);

  const P<CValueList> exact = List(true);
  EXPECT_TRUE(exact->setInt(u"Alpha", 1));
  EXPECT_TRUE(exact->setInt(u"ALPHA", 2));
  EXPECT_EQ(exact->getInt(u"Alpha", 0), 1);
  EXPECT_EQ(exact->getInt(u"alpha", -5), -5);
  EXPECT_EQ(Names(*exact).size(), 2u);
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
  EXPECT_EQ(list->get(u"missing"), nullptr);
  for (const char16_t* name : {u"null", u"missing", u"text", u"uri"}) {
    EXPECT_EQ(list->getInt(name, -3), -3);
    EXPECT_EQ(list->getInt64(name, -4), -4);
    EXPECT_EQ(list->getFloat(name, -5.f), -5.f);
    EXPECT_EQ(list->getDouble(name, -6.0), -6.0);
    EXPECT_TRUE(list->getBool(name, true));
  }
  EXPECT_TRUE(list->getBool(u"bool", false));
  EXPECT_EQ(list->getInt(u"bool", 7), 7);
  EXPECT_FALSE(list->getBool(u"int", false));
  EXPECT_EQ(list->getInt64(u"int64", 0), 9);
  EXPECT_EQ(list->getFloat(u"float", 0), 1.5f);
  EXPECT_EQ(list->getDouble(u"double", 0), 2.25);
  EXPECT_EQ(list->getDouble(u"float", 0), 1.5);

  const String fallback(u"fallback");
  EXPECT_EQ(ToUTF8(list->getString(u"text", fallback)), "x");
  EXPECT_EQ(list->getString(u"text", fallback).get(), list->get(u"text"));  // shared, not copied
  EXPECT_EQ(ToUTF8(list->getString(u"empty", fallback)), "");
  for (const char16_t* name : {u"nulltext", u"int", u"missing", u"null"}) {
    EXPECT_EQ(list->getString(name, fallback).get(), fallback.get()) << ToUTF8(String(name));
  }
  EXPECT_EQ(list->getURI(u"uri", nullptr), uri);
  EXPECT_EQ(list->getURI(u"text", uri), uri);
}

TEST(ValueList, ReleasesWhatItHoldsAndSharesItThroughClones) {
  using test::TCounted;
  int destroyed = 0;
  P<CValueList> list = List(false);
  list->set(u"a", make<TCounted<>>(destroyed));
  list->set(u"b", make<TCounted<>>(destroyed));
  list->set(u"c", make<TCounted<>>(destroyed));
  EXPECT_FALSE(list->remove(u"missing"));
  EXPECT_TRUE(list->remove(u"A"));
  EXPECT_FALSE(list->contains(u"a"));
  EXPECT_EQ(destroyed, 1);
  list->set(u"B", make<TCounted<>>(destroyed));  // replaces: the old value goes
  EXPECT_EQ(destroyed, 2);

  const P<CValueList> nested = List(true);
  list->set(u"nested", nested);
  const P<IValueList> copy = list->clone();
  EXPECT_FALSE(copy->isCaseSensitive());
  EXPECT_EQ(SortedNames(*copy), SortedNames(*list));
  P<IValueList> inner = P<IValueList>::share(cast<IValueList>(copy->get(u"NESTED")));
  inner->setInt(u"depth", 2);
  EXPECT_EQ(nested->getInt(u"depth", 0), 2);

  list->clear();
  EXPECT_EQ(Names(*list).size(), 0u);
  EXPECT_EQ(destroyed, 2);  // the clone still holds them
  list->setInt(u"stale", 1);
  list->assign(*copy);
  EXPECT_FALSE(list->contains(u"stale"));
  list->assign(*list);
  EXPECT_EQ(SortedNames(*list), SortedNames(*copy));
  EXPECT_FALSE(list->isCaseSensitive());
  list = nullptr;
  inner = nullptr;
  EXPECT_EQ(destroyed, 2);
  copy->clear();
  EXPECT_EQ(destroyed, 4);
  // A case-sensitive source makes the target case-sensitive.
  const P<CValueList> exact = List(true);
  exact->setInt(u"X", 1);
  EXPECT_TRUE(make<CValueList>(*exact)->isCaseSensitive());
}

TEST(ValueList, NamesComeInBucketOrderAndTheEnumeratorEndsAndResets) {
  const P<CValueList> list = List(true);
  EXPECT_FALSE(list->getNames()->hasMore());
  EXPECT_THROW(list->getNames()->next(), CEndOfEnumError);

  std::vector<std::string> expected;
  for (int n = 0; n < 30; ++n) list->setInt(String(("name" + std::to_string(n)).c_str()), n);
  // The table's own order: ascending buckets, newest first within one.
  TSimpleHashTable<String, int> reference(0, 0.8, 2.0);
  for (int n = 0; n < 30; ++n) reference.insert(String(("name" + std::to_string(n)).c_str()), n);
  for (const auto& node : reference) expected.push_back(ToUTF8(node.key));

  const P<IConstEnum> names = list->getNames();
  EXPECT_EQ(names->getCount(), -1);
  EXPECT_EQ(Names(*list), expected);
  while (names->hasMore()) names->next();
  EXPECT_THROW(names->next(), CEndOfEnumError);
  names->reset();
  ASSERT_TRUE(names->hasMore());
  EXPECT_EQ(ToUTF8(P<IString>::share(cast<IString>(const_cast<IBase*>(names->next().get())))), expected.front());
}

// Random sets, removes and gets on a case-blind list agree with a map keyed
// by the folded name that keeps the first spelling.
TEST(ValueList, AgreesWithAReferenceMapUnderRandomOperations) {
  std::mt19937 random(1234);
  const char16_t* const spellings[] = {u"alpha", u"Alpha", u"ALPHA", u"beta", u"BETA", u"gamma", u"delta",
                                       u"Delta", u"epsilon", u"zeta", u"ETA", u"eta", u"theta", u"iota"};
  auto fold = [](std::u16string s) {
    for (char16_t& c : s) c = (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
    return s;
  };
  const P<CValueList> list = List(false);
  std::map<std::u16string, std::pair<std::u16string, int>> reference;
  for (int step = 0; step < 4000; ++step) {
    const std::u16string name = spellings[random() % std::size(spellings)];
    const std::u16string key = fold(name);
    switch (random() % 3) {
      case 0: {
        const int value = static_cast<int>(random() % 1000);
        const bool fresh = reference.find(key) == reference.end();
        ASSERT_EQ(list->setInt(name.c_str(), value), fresh);
        if (fresh) reference[key] = {name, value};
        reference[key].second = value;
        break;
      }
      case 1:
        ASSERT_EQ(list->remove(name.c_str()), reference.erase(key) == 1);
        break;
      default: {
        const auto found = reference.find(key);
        ASSERT_EQ(list->getInt(name.c_str(), -1), found == reference.end() ? -1 : found->second.second);
      }
    }
  }
  std::vector<std::string> expected;
  for (const auto& [key, entry] : reference) expected.push_back(ToUTF8(String(entry.first.c_str())));
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(SortedNames(*list), expected);
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
    EXPECT_EQ(bucket->getPartition(*String(u"bd")), nullptr);
    EXPECT_FALSE(bucket->enumeratePartition(*String(u"bd"))->hasMore());

    const P<IEnum> cd = bucket->enumeratePartition(*String(u"cd"));
    EXPECT_EQ(cd->nextModifiable(), a);
    EXPECT_EQ(cd->nextModifiable(), b);
    EXPECT_EQ(bucket->enumerate()->getCount(), 3);

    EXPECT_FALSE(bucket->remove(*String(u"cd"), c.get()));
    EXPECT_TRUE(bucket->remove(*String(u"cd"), a.get()));
    EXPECT_FALSE(bucket->remove(*String(u"bd"), a.get()));
    EXPECT_EQ(bucket->getPartition(*String(u"CD"))->getCount(), 1);
    EXPECT_TRUE(bucket->removePartition(*String(u"dvd")));
    EXPECT_FALSE(bucket->removePartition(*String(u"dvd")));
    EXPECT_EQ(bucket->getTotalCount(), 1);
    bucket->clear();
    EXPECT_EQ(bucket->getKeyCount(), 0);
  }
  EXPECT_EQ(destroyed, 3);
}

}  // namespace
}  // namespace lumo
