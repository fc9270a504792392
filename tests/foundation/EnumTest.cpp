// The empty enumerator and the multi enumerators: totals, reading the
// sub-enumerators in turn, and the lock on add after the first enumeration call.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "ArrayTestSupport.h"
#include "foundation/Exception.h"
#include "foundation/IArray.h"
#include "foundation/IEnum.h"
#include "foundation/IStringLocalizer.h"

namespace lumo {
namespace {

// Yields nothing and cannot tell its count.
class CUncountedEnum final : public CObject, public IEnum {
 public:
  bool hasMore() override { return false; }
  std::int32_t getCount() override { return -1; }
  PC<IBase> next() override { throw CEndOfEnumError(this, nullptr); }
  void reset() override {}
  P<IBase> nextModifiable() override { throw CEndOfEnumError(this, nullptr); }
};

TEST(EmptyEnum, YieldsNothing) {
  const P<CEmptyEnum> empty = make<CEmptyEnum>();
  EXPECT_FALSE(empty->hasMore());
  EXPECT_EQ(empty->getCount(), 0);
  EXPECT_THROW(empty->next(), CEndOfEnumError);
  EXPECT_THAT([&] { empty->nextModifiable(); },
              testing::ThrowsMessage<CEndOfEnumError>(testing::HasSubstr("lumo::CEmptyEnum")));
}

struct TotalCase {
  std::vector<std::string> subs;  // each sub's elements; "?" for one that cannot tell its count
  std::int32_t total;
  const char* elements;
};

class MultiEnumTotal : public testing::TestWithParam<TotalCase> {};

TEST_P(MultiEnumTotal, AddsTheCountsAndReadsTheSubsInTurn) {
  const auto& [subs, total, elements] = GetParam();
  const P<CMultiEnum> all = make<CMultiEnum>();
  std::vector<P<CArray>> arrays;
  for (const std::string& sub : subs) {
    arrays.push_back(test::Strings<CArray>(sub));
    all->add(sub == "?" ? P<IEnum>(make<CUncountedEnum>()) : arrays.back()->enumerateModifiable());
  }
  EXPECT_EQ(all->getCount(), total);
  EXPECT_EQ(test::Drain(*all), elements);
  EXPECT_THROW(all->next(), CEndOfEnumError);
  all->reset();  // restarts every sub-enumerator
  if (!arrays.empty()) {
    EXPECT_EQ(all->nextModifiable().get(), arrays[0]->getModifiable(0).get());
  }
  EXPECT_EQ(test::Drain(*all), subs.empty() ? "" : std::string(elements).substr(2));
  EXPECT_THROW(all->nextModifiable(), CEndOfEnumError);
}

INSTANTIATE_TEST_SUITE_P(Cases, MultiEnumTotal,
                         testing::Values(TotalCase{{}, 0, ""}, TotalCase{{"a,b", "", "c"}, 3, "a,b,c"},
                                         TotalCase{{"a", "?", "c"}, -1, "a,c"},
                                         TotalCase{{"a", "?", "b,c"}, -1, "a,b,c"}));

// Multi enumerator kind (const or not) and the first call made on it (4: nextModifiable).
class MultiEnumLock : public testing::TestWithParam<std::tuple<bool, int>> {};

TEST_P(MultiEnumLock, AnEnumerationCallLocksTheList) {
  const bool constant = std::get<0>(GetParam());
  const int call = std::get<1>(GetParam());
  const P<CArray> source = test::Strings<CArray>("a");
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
  EXPECT_EQ(test::Drain(*multi), "a");  // the refused subs were not added
}

INSTANTIATE_TEST_SUITE_P(Multi, MultiEnumLock, testing::Combine(testing::Values(false), testing::Range(0, 5)));
INSTANTIATE_TEST_SUITE_P(ConstMulti, MultiEnumLock, testing::Combine(testing::Values(true), testing::Range(0, 4)));

}  // namespace
}  // namespace lumo
