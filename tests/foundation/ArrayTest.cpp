// The growable arrays (growth, ownership of smart-pointer elements, frail
// entries) and the object arrays with their enumerators.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "foundation/Exception.h"
#include "foundation/IArray.h"
#include "foundation/IComparable.h"
#include "foundation/SimpleArray.h"
#include "foundation/String.h"
#include "ArrayTestSupport.h"

namespace lumo {
namespace {

using test::CItem;
using test::Keys;
using test::Tally;

// --- TSimpleArray ----------------------------------------------------------

struct GrowthCase {
  std::int32_t step;
  std::int32_t effectiveStep;
};

class Growth : public testing::TestWithParam<GrowthCase> {};

TEST_P(Growth, GrowsByTheStepOrToWhatIsNeeded) {
  const auto [step, effective] = GetParam();
  TSimpleArray<std::int32_t> array(step);
  EXPECT_EQ(array.getGrowthStep(), effective);
  EXPECT_EQ(array.getCapacity(), 0);
  for (std::int32_t n = 1; n <= 2 * effective + 1; ++n) {
    array.add(n);
    EXPECT_EQ(array.getCapacity(), (n + effective - 1) / effective * effective) << "after " << n << " adds";
  }
  // More than one step at once: exactly what is needed.
  const std::int32_t needed = array.getCapacity() + effective + 7;
  array.setCount(needed);
  EXPECT_EQ(array.getCapacity(), needed);
  array.add(0);
  EXPECT_EQ(array.getCapacity(), needed + effective);
  for (std::int32_t n = 0; n < 2 * effective + 1; ++n) ASSERT_EQ(array[n], n + 1);  // moved intact
  EXPECT_EQ(array[needed - 1], 0);  // grown elements are zero
}

INSTANTIATE_TEST_SUITE_P(Steps, Growth, testing::Values(GrowthCase{0, 10}, GrowthCase{-4, 10}, GrowthCase{3, 3},
                                                        GrowthCase{1, 1}));

TEST(SimpleArray, InsertsAndRemovesInPlaceAndRefusesIndexesOutside) {
  TSimpleArray<std::int32_t> array(2);
  for (std::int32_t value : {1, 2, 4}) array.add(value);
  array.insert(2, 3);
  array.insert(0, array[3]);  // an element of the full array itself, while it grows
  EXPECT_EQ(std::vector<std::int32_t>(array.begin(), array.end()), (std::vector<std::int32_t>{4, 1, 2, 3, 4}));
  array.remove(0);
  array.removeRange(1, 2);
  EXPECT_EQ(std::vector<std::int32_t>(array.begin(), array.end()), (std::vector<std::int32_t>{1, 4}));

  const std::vector<std::function<void()>> refused = {
      [&] { array.insert(-1, 0); },      [&] { array.insert(3, 0); },       [&] { array.remove(2); },
      [&] { array.remove(-1); },         [&] { array.removeRange(1, 2); },  [&] { array.removeRange(0, -1); },
      [&] { array.setCount(-1); },
  };
  for (std::size_t i = 0; i < refused.size(); ++i) {
    EXPECT_THROW(refused[i](), CInvalidArgError) << "case " << i;
    EXPECT_EQ(std::vector<std::int32_t>(array.begin(), array.end()), (std::vector<std::int32_t>{1, 4})) << i;
  }
  array.clear();
  EXPECT_EQ(array.getCount(), 0);
}

// --- TCleaningSimpleArray: the same rules for every kind of smart pointer ---

template <class Ptr>
Ptr Hold(const P<CItem>& item) {
  if constexpr (std::is_same_v<Ptr, PFrail<IBase>>) {
    return PFrail<IBase>::share(item.get());
  } else {
    return Ptr(item);
  }
}

template <class Ptr>
class CleaningArray : public testing::Test {};
using PointerKinds = testing::Types<P<IBase>, PC<IBase>, PFrail<IBase>, P<IComparable>>;
TYPED_TEST_SUITE(CleaningArray, PointerKinds);

TYPED_TEST(CleaningArray, ReleasesExactlyTheElementsItDrops) {
  Tally tally;
  {
    TCleaningSimpleArray<TypeParam> array;
    for (int key = 0; key < 6; ++key) array.add(Hold<TypeParam>(make<CItem>(tally, key)));
    array.setCount(3);
    EXPECT_EQ(tally.destroyed, (Keys{3, 4, 5}));  // the cut-off elements
    array.setCount(4);
    EXPECT_EQ(array.getObject(3), nullptr);
    array.set(1, Hold<TypeParam>(make<CItem>(tally, 10)));
    array.set(3, array.get(0));  // the same object twice: two references
    array.remove(0);
    EXPECT_EQ(tally.destroyed, (Keys{3, 4, 5, 1}));
    EXPECT_EQ(array.indexOf(array.getObject(2)), 2);
    EXPECT_EQ(array.lastIndexOf(array.getObject(0)), 0);
    array.insert(0, Hold<TypeParam>(make<CItem>(tally, 11)));
    EXPECT_THROW(array.insert(9, Hold<TypeParam>(make<CItem>(tally, 12))), CInvalidArgError);
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
  // What each element saw of the array while it was being destroyed.
  EXPECT_EQ(tally.countsSeen, (Keys{3, 3, 1, 1}));
  EXPECT_EQ(tally.stillListed, 0);
  EXPECT_EQ(tally.destroyed, (Keys{1, 0, 2, 3}));
}

TEST(FrailArray, NeverReleasesFrailEntries) {
  Tally tally;
  std::vector<P<CItem>> owners;
  for (int key = 0; key < 4; ++key) owners.push_back(make<CItem>(tally, key));
  {
    TFrailArray<IComparable> listeners;
    for (const auto& owner : owners) listeners.add(owner.get());
    listeners.add(PFrail<IComparable>::share(owners[0].get()));  // a strong entry besides
    EXPECT_TRUE(listeners.remove(owners[1].get()));
    EXPECT_FALSE(listeners.remove(owners[1].get()));
    listeners.setCount(2);
    EXPECT_EQ(listeners.getObject(1), owners[2].get());
  }
  EXPECT_TRUE(tally.destroyed.empty());
  owners.clear();
  EXPECT_EQ(tally.destroyed, (Keys{0, 1, 2, 3}));
}

// --- CArray and CConstArray -------------------------------------------------

TEST(ConstArray, HoldsSharedElementsByIdentity) {
  const String a = "a", b = "b", c = "c", equalToA = "a";
  const P<CConstArray> array = make<CConstArray>();
  array->add(a.get());
  array->add(c.get());
  array->insert(1, b.get());
  array->add(a.get());
  EXPECT_EQ(array->get(1).get(), static_cast<const IBase*>(b.get().get()));
  EXPECT_EQ(array->indexOf(a.get().get()), 0);
  EXPECT_EQ(array->indexOf(1, a.get().get()), 3);
  EXPECT_EQ(array->lastIndexOf(a.get().get()), 3);
  EXPECT_EQ(array->indexOf(equalToA.get().get()), -1);  // equal text, another object
  EXPECT_FALSE(array->contains(equalToA.get().get()));

  array->addAll(*array);
  EXPECT_EQ(array->getCount(), 8);
  EXPECT_TRUE(array->removeElement(a.get().get()));
  EXPECT_FALSE(array->removeElement(equalToA.get().get()));
  array->removeRange(2, 5);
  EXPECT_EQ(test::Texts(*array), "b,c");
}

struct RelativeCase {
  bool after;
  int existing;  // index of the existing element in "a,b,c,a" (one "a" object twice), -1: absent
  const char* expected;  // nullptr: refused
};

class RelativeInsertion : public testing::TestWithParam<RelativeCase> {};

TEST_P(RelativeInsertion, FindsTheFirstOccurrence) {
  const auto [after, existing, expected] = GetParam();
  const P<CArray> array = test::Strings<CArray>("a,b,c");
  array->add(array->getModifiable(0));
  const String absent = "a";
  const IBase* anchor = existing < 0 ? absent.get().get() : array->get(existing).get();
  const auto insert = [&] {
    after ? array->insertAfter(anchor, String("x").get()) : array->insertBefore(anchor, String("x").get());
  };
  if (!expected) {
    EXPECT_THROW(insert(), CInvalidArgError);
    EXPECT_EQ(test::Texts(*array), "a,b,c,a");
  } else {
    insert();
    EXPECT_EQ(test::Texts(*array), expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, RelativeInsertion,
                         testing::Values(RelativeCase{false, 0, "x,a,b,c,a"}, RelativeCase{true, 0, "a,x,b,c,a"},
                                         RelativeCase{false, 2, "a,b,x,c,a"}, RelativeCase{true, 2, "a,b,c,x,a"},
                                         RelativeCase{true, -1, "x,a,b,c,a"}, RelativeCase{false, -1, nullptr}));

TEST(Array, SortsARangeStablyAndLeavesItAloneWhenTheOrderFails) {
  const P<CArray> array = test::Strings<CArray>("d,B,a,c,b,A");
  array->sort(1, 4);  // by the strings' own order: code points
  EXPECT_EQ(test::Texts(*array), "d,B,a,b,c,A");
  const ElementOrder noCase = [](const IBase* first, const IBase* second) {
    return dynamic_cast<const IString&>(*first).compareNoCase(dynamic_cast<const IString&>(*second));
  };
  array->sort(noCase, 0, array->getCount());
  EXPECT_EQ(test::Texts(*array), "a,A,B,b,c,d");  // equal ones keep their order

  array->add(nullptr);
  array->insert(0, nullptr);
  array->sort(0, array->getCount());
  EXPECT_EQ(test::Texts(*array), "-,-,A,B,a,b,c,d");  // null first

  array->add(make<CConstArray>());  // neither a string nor comparable
  EXPECT_THROW(array->sort(noCase, 2, array->getCount() - 2), std::bad_cast);
  EXPECT_THROW(array->sort(0, array->getCount()), CCastError);
  EXPECT_THROW(array->sort(3, array->getCount()), CInvalidArgError);
  EXPECT_EQ(test::Texts(*array), "-,-,A,B,a,b,c,d,?");
}

// --- Array enumerators ------------------------------------------------------

struct EnumCase {
  const char* name;
  std::function<P<IConstEnum>(const P<CArray>&, const P<CConstArray>&)> enumerate;
  bool backward;
  const char* enumClass;
};

class ArrayEnum : public testing::TestWithParam<EnumCase> {};

TEST_P(ArrayEnum, ReadsTheCountLiveAndEndsWithAnError) {
  const EnumCase& kind = GetParam();
  const P<CArray> array = test::Strings<CArray>("a,b");
  const P<CConstArray> constArray = test::Strings<CConstArray>("a,b");
  const P<IConstEnum> each = kind.enumerate(array, constArray);
  const auto add = [&](const char* text) {
    array->add(String(text).get());
    constArray->add(String(text).get());
  };
  EXPECT_EQ(test::Drain(*each, 1), kind.backward ? "b" : "a");
  add("c");  // seen forwards, behind a backward enumerator
  EXPECT_EQ(each->getCount(), 3);
  EXPECT_EQ(test::Drain(*each), kind.backward ? "a" : "b,c");
  try {
    each->next();
    ADD_FAILURE() << "no end error";
  } catch (const CEndOfEnumError& error) {
    EXPECT_NE(test::Text(error.getDescription()).find(kind.enumClass), std::string::npos)
        << test::Text(error.getDescription());
  }
  each->reset();
  EXPECT_EQ(test::Drain(*each), kind.backward ? "c,b,a" : "a,b,c");
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ArrayEnum,
    testing::Values(
        EnumCase{"Array", [](auto& a, auto&) { return a->enumerate(); }, false, "CArray::CConstEnum"},
        EnumCase{"ArrayBackward", [](auto& a, auto&) { return a->enumerate(true); }, true, "CArray::CConstEnum"},
        EnumCase{"Modifiable", [](auto& a, auto&) { return P<IConstEnum>(a->enumerateModifiable()); }, false,
                 "CArray::CEnum"},
        EnumCase{"ModifiableBackward", [](auto& a, auto&) { return P<IConstEnum>(a->enumerateModifiable(true)); },
                 true, "CArray::CEnum"},
        EnumCase{"ConstArray", [](auto&, auto& c) { return c->enumerate(); }, false, "CConstArray::CConstEnum"},
        EnumCase{"ConstArrayBackward", [](auto&, auto& c) { return c->enumerate(true); }, true,
                 "CConstArray::CConstEnum"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ArrayEnum, HandsOutModifiableElements) {
  const P<CArray> array = test::Strings<CArray>("a");
  const P<IEnum> each = array->enumerateModifiable();
  EXPECT_EQ(each->nextModifiable().get(), array->getModifiable(0).get());
  EXPECT_THROW(each->nextModifiable(), CEndOfEnumError);
}

}  // namespace
}  // namespace lumo
