// The growable arrays, the object arrays, and the enumerators over one array, over none and over several.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "FoundationTestSupport.h"
#include "foundation/Exception.h"
#include "foundation/IArray.h"
#include "foundation/IComparable.h"
#include "foundation/IEnum.h"
#include "foundation/IStringLocalizer.h"
#include "foundation/SimpleArray.h"

namespace lumo {
namespace {

using Keys = std::vector<int>;

struct Tally {
  Keys destroyed;       // keys in the order their items died
  Keys countsSeen;      // the watched array's count at each death
  int stillListed = 0;  // deaths that found themselves still in the watched array
};

// An element that records its destruction; it may watch the array holding it.
class CItem final : public CObject, public IComparable {
 public:
  CItem(Tally& tally, int key, const TCleaningSimpleArray<P<IBase>>* watched = nullptr)
      : key(key), tally(tally), watched(watched) {}
  std::int32_t compareTo(const IComparable& other) const override {
    return key - dynamic_cast<const CItem&>(other).key;
  }
  const int key;

 protected:
  ~CItem() override {
    tally.destroyed.push_back(key);
    if (!watched) return;
    tally.countsSeen.push_back(watched->getCount());
    tally.stillListed += watched->indexOf(this) >= 0;
  }

 private:
  Tally& tally;
  const TCleaningSimpleArray<P<IBase>>* watched;
};

// "-" for null, a string's text, "?" for anything else.
std::string Text(const IBase* element) {
  if (!element) return "-";
  const auto* text = dynamic_cast<const IString*>(element);
  return text ? ToUTF8(String(P<IString>::share(const_cast<IString*>(text)))) : "?";
}

template <class Array>
std::string Texts(const Array& array) {
  std::string out;
  for (std::int32_t i = 0; i < array.getCount(); ++i) out += (i ? "," : "") + Text(array.get(i).get());
  return out;
}

// Up to `max` further elements of an enumeration (all when negative).
std::string Drain(IConstEnum& each, int max = -1) {
  std::string out;
  for (int n = 0; n != max && each.hasMore(); ++n) out += (n ? "," : "") + Text(each.next().get());
  return out;
}

// An array of new strings from a comma-separated list.
template <class Array>
P<Array> Strings(const std::string& list) {
  const P<Array> array = make<Array>();
  std::istringstream in(list);
  for (std::string text; std::getline(in, text, ',');) array->add(String(text.c_str()).get());
  return array;
}

TEST(SimpleArray, GrowsByTheStepOrToWhatIsNeededAndRefusesIndexesOutside) {
  for (const auto& [step, used] : {std::pair{0, 10}, std::pair{-4, 10}, std::pair{3, 3}}) {
    TSimpleArray<std::int32_t> array(step);
    for (std::int32_t n = 1; n <= 2 * used + 1; ++n) {
      array.add(n);
      ASSERT_EQ(array.getCapacity(), (n + used - 1) / used * used) << n;
    }
    const std::int32_t needed = array.getCapacity() + used + 7;  // more than a step: exactly what is needed
    array.setCount(needed);
    EXPECT_EQ(array.getCapacity(), needed);
    array[needed - 1] = 99;
    array.insert(0, array[needed - 1]);  // an element of the full array itself, while it grows
    EXPECT_EQ(array.getCapacity(), needed + used);
    for (std::int32_t n = 1; n <= 2 * used + 1; ++n) ASSERT_EQ(array[n], n);
    EXPECT_EQ(array[0], 99);
    EXPECT_EQ(array[needed - 1], 0);
    EXPECT_EQ(array[needed], 99);
  }
  TSimpleArray<std::int32_t> array;
  for (std::int32_t value : {1, 2, 3, 4}) array.add(value);
  array.remove(0);
  array.removeRange(1, 1);
  EXPECT_THROW(array.insert(-1, 0), CInvalidArgError);
  EXPECT_THROW(array.insert(3, 0), CInvalidArgError);
  EXPECT_THROW(array.remove(2), CInvalidArgError);
  EXPECT_THROW(array.removeRange(1, 2), CInvalidArgError);
  EXPECT_THROW(array.removeRange(0, -1), CInvalidArgError);
  EXPECT_THROW(array.setCount(-1), CInvalidArgError);
  EXPECT_EQ(std::vector<std::int32_t>(array.begin(), array.end()), (std::vector<std::int32_t>{2, 4}));
}

template <class Ptr>
class CleaningArray : public testing::Test {};
using PointerKinds = testing::Types<P<IBase>, PC<IBase>, PFrail<IBase>, P<IComparable>>;
TYPED_TEST_SUITE(CleaningArray, PointerKinds);

TYPED_TEST(CleaningArray, ReleasesExactlyTheElementsItDrops) {
  Tally tally;
  {
    TCleaningSimpleArray<TypeParam> array;
    for (int key = 0; key < 6; ++key) array.add(TypeParam(make<CItem>(tally, key)));
    array.setCount(3);
    EXPECT_EQ(tally.destroyed, (Keys{3, 4, 5}));  // the cut-off elements
    array.setCount(4);
    EXPECT_EQ(array.getObject(3), nullptr);
    array.set(1, TypeParam(make<CItem>(tally, 10)));
    array.set(3, array.get(0));  // the same object twice: two references
    array.remove(0);
    EXPECT_EQ(tally.destroyed, (Keys{3, 4, 5, 1}));
    EXPECT_EQ(array.indexOf(array.getObject(2)), 2);
    array.insert(0, TypeParam(make<CItem>(tally, 11)));
    EXPECT_THROW(array.insert(9, TypeParam(make<CItem>(tally, 12))), CInvalidArgError);
    EXPECT_EQ(tally.destroyed, (Keys{3, 4, 5, 1, 12}));  // the refused one is not leaked
    EXPECT_EQ(array.getCount(), 4);
  }
  std::sort(tally.destroyed.begin(), tally.destroyed.end());
  EXPECT_EQ(tally.destroyed, (Keys{0, 1, 2, 3, 4, 5, 10, 11, 12}));  // each exactly once
}

TEST(CleaningArray, ReleasesOnlyOnceItIsConsistentAgain) {
  Tally tally;
  TCleaningSimpleArray<P<IBase>> array;
  for (int key = 0; key < 4; ++key) array.add(make<CItem>(tally, key, &array));
  array.remove(1);
  array.set(0, nullptr);
  array.setCount(1);
  EXPECT_EQ(tally.destroyed, (Keys{1, 0, 2, 3}));
  EXPECT_EQ(tally.countsSeen, (Keys{3, 3, 1, 1}));  // what each saw of the array while it died
  EXPECT_EQ(tally.stillListed, 0);
}

TEST(FrailArray, NeverReleasesFrailEntries) {
  Tally tally;
  std::vector<P<CItem>> owners;
  for (int key = 0; key < 3; ++key) owners.push_back(make<CItem>(tally, key));
  {
    TFrailArray<IComparable> listeners;
    for (const auto& owner : owners) listeners.add(owner.get());
    listeners.add(PFrail<IComparable>::share(owners[1].get()));  // a strong entry besides
    EXPECT_TRUE(listeners.remove(owners[0].get()));
    EXPECT_FALSE(listeners.remove(owners[0].get()));
    listeners.setCount(1);
    EXPECT_EQ(listeners.getObject(0), owners[1].get());
  }
  EXPECT_TRUE(tally.destroyed.empty());
  owners.clear();
  EXPECT_EQ(tally.destroyed, (Keys{0, 1, 2}));
}

template <class Array>
class ObjectArray : public testing::Test {};
using ArrayKinds = testing::Types<CArray, CConstArray>;
TYPED_TEST_SUITE(ObjectArray, ArrayKinds);

TYPED_TEST(ObjectArray, FindsElementsByIdentity) {
  const String a = "a", equalToA = "a";
  const IBase* const same = a.get().get();
  const IBase* const equal = equalToA.get().get();
  const P<TypeParam> array = Strings<TypeParam>("b,c");
  array->insert(0, a.get());
  array->add(a.get());
  EXPECT_EQ(array->indexOf(same), 0);
  EXPECT_EQ(array->indexOf(1, same), 3);
  EXPECT_EQ(array->indexOf(equal), -1);  // equal text, another object
  array->addAll(*array);
  EXPECT_TRUE(array->removeElement(same));
  EXPECT_FALSE(array->removeElement(equal));
  EXPECT_EQ(Texts(*array), "b,c,a,a,b,c,a");
  EXPECT_EQ(array->lastIndexOf(same), 6);
  array->removeRange(2, 5);
  EXPECT_EQ(array->lastIndexOf(same), -1);  // nothing past the count is read
  array->setCount(3);
  EXPECT_EQ(Texts(*array), "b,c,-");
}

TEST(Array, InsertsRelativeToTheFirstOccurrence) {
  struct {
    bool after;
    int existing;          // index in "a,b,c,a" (one "a" object twice), or -1: an equal "a" not in it
    const char* expected;  // nullptr: refused
  } const cases[] = {{false, 0, "x,a,b,c,a"}, {true, 0, "a,x,b,c,a"},  {false, 2, "a,b,x,c,a"},
                     {true, 2, "a,b,c,x,a"},  {true, -1, "x,a,b,c,a"}, {false, -1, nullptr}};
  for (const auto& [after, existing, expected] : cases) {
    const P<CArray> array = Strings<CArray>("a,b,c");
    array->add(array->getModifiable(0));
    const String absent = "a", x = "x";
    const IBase* anchor = existing < 0 ? absent.get().get() : array->get(existing).get();
    try {
      after ? array->insertAfter(anchor, x.get()) : array->insertBefore(anchor, x.get());
      EXPECT_TRUE(expected) << "not refused: " << after << existing;
    } catch (const CInvalidArgError&) {
      EXPECT_FALSE(expected) << "refused: " << after << existing;
    }
    EXPECT_EQ(Texts(*array), expected ? expected : "a,b,c,a") << after << existing;
  }
}

TEST(Array, SortsARangeStablyAndLeavesItAloneWhenTheOrderFails) {
  const P<CArray> array = Strings<CArray>("d,B,a,c,b,A");
  array->sort(1, 4);  // by the strings' own order: code points
  EXPECT_EQ(Texts(*array), "d,B,a,b,c,A");
  const ElementOrder noCase = [](const IBase* first, const IBase* second) {
    return dynamic_cast<const IString&>(*first).compareNoCase(dynamic_cast<const IString&>(*second));
  };
  array->sort(noCase, 0, array->getCount());
  EXPECT_EQ(Texts(*array), "a,A,B,b,c,d");  // equal ones keep their order
  array->add(nullptr);
  array->insert(0, nullptr);
  array->sort(0, array->getCount());
  EXPECT_EQ(Texts(*array), "-,-,A,B,a,b,c,d");  // null first
  array->add(make<CConstArray>());  // neither a string nor comparable
  EXPECT_THROW(array->sort(noCase, 2, array->getCount() - 2), std::bad_cast);
  EXPECT_THROW(array->sort(0, array->getCount()), CCastError);
  EXPECT_THROW(array->sort(3, array->getCount()), CInvalidArgError);
  EXPECT_EQ(Texts(*array), "-,-,A,B,a,b,c,d,?");
}

// Which enumerator (CArray's, CArray's modifiable, CConstArray's), and backward.
class ArrayEnum : public testing::TestWithParam<std::tuple<int, bool>> {};

TEST_P(ArrayEnum, ReadsTheCountLiveAndEndsWithAnError) {
  const auto [kind, backward] = GetParam();
  const P<CArray> array = Strings<CArray>("a,b");
  const P<CConstArray> constArray = Strings<CConstArray>("a,b");
  const P<IConstEnum> each = kind == 0   ? array->enumerate(backward)
                             : kind == 1 ? P<IConstEnum>(array->enumerateModifiable(backward))
                                         : constArray->enumerate(backward);
  EXPECT_EQ(Drain(*each, 1), backward ? "b" : "a");
  array->add(String("c").get());  // seen forwards, behind a backward enumerator
  constArray->add(String("c").get());
  EXPECT_EQ(each->getCount(), 3);
  EXPECT_EQ(Drain(*each), backward ? "a" : "b,c");
  const char* names[] = {"lumo::CArray::CConstEnum", "lumo::CArray::CEnum", "lumo::CConstArray::CConstEnum"};
  EXPECT_THAT([&] { each->next(); }, testing::ThrowsMessage<CEndOfEnumError>(testing::HasSubstr(names[kind])));
  each->reset();
  if (kind == 1) {
    EXPECT_EQ(dynamic_cast<IEnum&>(*each).nextModifiable().get(), array->getModifiable(backward ? 2 : 0).get());
  } else {
    EXPECT_EQ(Drain(*each), backward ? "c,b,a" : "a,b,c");
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, ArrayEnum, testing::Combine(testing::Values(0, 1, 2), testing::Bool()));

// Yields nothing and cannot tell its count.
class CUncountedEnum final : public CObject, public IEnum {
 public:
  bool hasMore() override { return false; }
  std::int32_t getCount() override { return -1; }
  PC<IBase> next() override { throw CEndOfEnumError(this, nullptr); }
  void reset() override {}
  P<IBase> nextModifiable() override { throw CEndOfEnumError(this, nullptr); }
};

// The empty enumerator also stands in as an empty sub of the multi enumerators below.
TEST(EmptyEnum, EndsAtOnce) {
  EXPECT_THROW(make<CEmptyEnum>()->next(), CEndOfEnumError);
  EXPECT_THAT([] { make<CEmptyEnum>()->nextModifiable(); },
              testing::ThrowsMessage<CEndOfEnumError>(testing::HasSubstr("lumo::CEmptyEnum")));
}

struct TotalCase {
  std::vector<std::string> subs;  // the elements of each sub; "" an empty enumerator, "?" an uncounted one
  std::int32_t total;
  const char* elements;
};

class MultiEnumTotal : public testing::TestWithParam<TotalCase> {};

TEST_P(MultiEnumTotal, AddsTheCountsAndReadsTheSubsInTurn) {
  const auto& [subs, total, elements] = GetParam();
  const P<CMultiEnum> all = make<CMultiEnum>();
  std::vector<P<CArray>> arrays;
  for (const std::string& sub : subs) {
    arrays.push_back(Strings<CArray>(sub));
    all->add(sub == "?"   ? P<IEnum>(make<CUncountedEnum>())
             : sub.empty() ? P<IEnum>(make<CEmptyEnum>())
                           : arrays.back()->enumerateModifiable());
  }
  EXPECT_EQ(all->getCount(), total);
  EXPECT_EQ(Drain(*all), elements);
  EXPECT_THROW(all->next(), CEndOfEnumError);
  all->reset();  // restarts every sub-enumerator
  if (!arrays.empty()) {
    EXPECT_EQ(all->nextModifiable().get(), arrays[0]->getModifiable(0).get());
  }
  EXPECT_EQ(Drain(*all), subs.empty() ? "" : std::string(elements).substr(2));
  EXPECT_THROW(all->nextModifiable(), CEndOfEnumError);
}

INSTANTIATE_TEST_SUITE_P(Cases, MultiEnumTotal,
                         testing::Values(TotalCase{{}, 0, ""}, TotalCase{{"a,b", "", "c"}, 3, "a,b,c"},
                                         TotalCase{{"a", "?", "b,c"}, -1, "a,b,c"}));

// Multi enumerator kind (const or not) and the first call made on it (4: nextModifiable).
class MultiEnumLock : public testing::TestWithParam<std::tuple<bool, int>> {};

TEST_P(MultiEnumLock, AnEnumerationCallLocksTheList) {
  const bool constant = std::get<0>(GetParam());
  const int call = std::get<1>(GetParam());
  const P<CArray> source = Strings<CArray>("a");
  const P<CMultiEnum> all = make<CMultiEnum>();
  const P<CConstMultiEnum> allConst = make<CConstMultiEnum>();
  const P<IConstEnum> multi = constant ? P<IConstEnum>(allConst) : P<IConstEnum>(all);
  const auto add = [&] { constant ? allConst->add(source->enumerate()) : all->add(source->enumerateModifiable()); };
  add();
  switch (call) {
    case 0: multi->hasMore(); break;
    case 1: multi->getCount(); break;
    case 2: multi->next(); break;
    case 3: multi->reset(); break;
    default: all->nextModifiable();
  }
  const std::string text = std::string("No more sub enums can be added to a multi enum after one of its ") +
                           (constant ? "IConstEnum" : "IEnum") + " methods has been called.";
  EXPECT_THAT(add, testing::ThrowsMessage<CInvalidObjectStateError>(testing::HasSubstr(text)));
  GetStringLocalizer()->Set(constant ? "lumo.CConstMultiEnum.addLocked" : "lumo.CMultiEnum.addLocked", "Locked");
  EXPECT_THAT(add, testing::ThrowsMessage<CInvalidObjectStateError>(testing::HasSubstr("Locked")));
  GetStringLocalizer()->Clear();
  multi->reset();
  EXPECT_EQ(Drain(*multi), "a");  // the refused subs were not added
}

INSTANTIATE_TEST_SUITE_P(Multi, MultiEnumLock, testing::Combine(testing::Values(false), testing::Range(0, 5)));
INSTANTIATE_TEST_SUITE_P(ConstMulti, MultiEnumLock, testing::Combine(testing::Values(true), testing::Range(0, 4)));

}  // namespace
}  // namespace lumo
