// The empty enumerator and the multi enumerators: totals, reading the
// sub-enumerators in turn, and the lock on add after the first enumeration call.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ArrayTestSupport.h"
#include "foundation/Exception.h"
#include "foundation/IArray.h"
#include "foundation/IEnum.h"
#include "foundation/IStringLocalizer.h"

namespace lumo {
namespace {

// Passes another enumerator on but cannot tell its count.
class CUncountedEnum final : public CObject, public IEnum {
 public:
  explicit CUncountedEnum(P<IEnum> inner) : inner(std::move(inner)) {}
  bool hasMore() override { return inner->hasMore(); }
  std::int32_t getCount() override { return -1; }
  PC<IBase> next() override { return inner->next(); }
  void reset() override { inner->reset(); }
  P<IBase> nextModifiable() override { return inner->nextModifiable(); }

 protected:
  ~CUncountedEnum() override = default;

 private:
  P<IEnum> inner;
};

template <class Call>
std::string ErrorText(Call call) {
  try {
    call();
  } catch (const CException& error) {
    return test::Text(error.getDescription());
  }
  return "<no error>";
}

TEST(EmptyEnum, YieldsNothing) {
  const P<CEmptyEnum> empty = make<CEmptyEnum>();
  empty->reset();
  EXPECT_FALSE(empty->hasMore());
  EXPECT_EQ(empty->getCount(), 0);
  EXPECT_THROW(empty->next(), CEndOfEnumError);
  EXPECT_NE(ErrorText([&] { empty->nextModifiable(); }).find("lumo::CEmptyEnum"), std::string::npos);
}

struct TotalCase {
  std::vector<std::string> subs;  // each sub's elements; a leading "?" makes it uncounted
  std::int32_t total;
  const char* elements;
};

class MultiEnumTotal : public testing::TestWithParam<TotalCase> {};

TEST_P(MultiEnumTotal, AddsTheCountsAndReadsTheSubsInTurn) {
  const TotalCase& row = GetParam();
  const P<CMultiEnum> all = make<CMultiEnum>();
  for (const std::string& sub : row.subs) {
    const bool uncounted = sub.starts_with("?");
    const P<IEnum> each = test::Strings<CArray>(sub.substr(uncounted ? 1 : 0))->enumerateModifiable();
    all->add(uncounted ? P<IEnum>(make<CUncountedEnum>(each)) : each);
  }
  EXPECT_EQ(all->getCount(), row.total);
  EXPECT_EQ(test::Drain(*all), row.elements);
  EXPECT_THROW(all->next(), CEndOfEnumError);
  EXPECT_THROW(all->nextModifiable(), CEndOfEnumError);
  all->reset();  // restarts every sub-enumerator
  EXPECT_EQ(test::Drain(*all), row.elements);
}

INSTANTIATE_TEST_SUITE_P(Cases, MultiEnumTotal,
                         testing::Values(TotalCase{{}, 0, ""}, TotalCase{{"a,b", "", "c"}, 3, "a,b,c"},
                                         TotalCase{{"a", "?b", "c"}, -1, "a,b,c"},
                                         TotalCase{{"?", "a"}, -1, "a"}));

TEST(MultiEnum, HandsOutTheSubsElementsModifiable) {
  const P<CArray> first = test::Strings<CArray>("a");
  const P<CArray> second = test::Strings<CArray>("b");
  const P<CMultiEnum> all = make<CMultiEnum>();
  all->add(first->enumerateModifiable());
  all->add(second->enumerateModifiable());
  EXPECT_EQ(all->nextModifiable().get(), first->getModifiable(0).get());
  EXPECT_EQ(all->next().get(), second->get(0).get());
}

struct LockCase {
  const char* name;
  bool constant;  // CConstMultiEnum rather than CMultiEnum
  std::function<void(IConstEnum&)> call;
};

class MultiEnumLock : public testing::TestWithParam<LockCase> {};

TEST_P(MultiEnumLock, AnEnumerationCallLocksTheList) {
  const LockCase& row = GetParam();
  const P<CArray> source = test::Strings<CArray>("a");
  P<IConstEnum> multi;
  std::function<void()> add;
  if (row.constant) {
    const P<CConstMultiEnum> all = make<CConstMultiEnum>();
    add = [all, source] { all->add(source->enumerate()); };
    multi = all;
  } else {
    const P<CMultiEnum> all = make<CMultiEnum>();
    add = [all, source] { all->add(source->enumerateModifiable()); };
    multi = all;
  }
  add();
  row.call(*multi);
  const std::string key = row.constant ? "lumo.CConstMultiEnum.addLocked" : "lumo.CMultiEnum.addLocked";
  const std::string text = std::string("No more sub enums can be added to a multi enum after one of its ") +
                           (row.constant ? "IConstEnum" : "IEnum") + " methods has been called.";
  EXPECT_THROW(add(), CInvalidObjectStateError);
  EXPECT_NE(ErrorText(add).find(text), std::string::npos) << ErrorText(add);
  GetStringLocalizer()->Set(key.c_str(), "locked");
  EXPECT_NE(ErrorText(add).find("locked"), std::string::npos) << ErrorText(add);
  GetStringLocalizer()->Clear();
  multi->reset();
  EXPECT_EQ(test::Drain(*multi), "a");  // the refused subs were not added
}

INSTANTIATE_TEST_SUITE_P(
    Calls, MultiEnumLock,
    testing::Values(LockCase{"HasMore", false, [](IConstEnum& each) { each.hasMore(); }},
                    LockCase{"GetCount", false, [](IConstEnum& each) { each.getCount(); }},
                    LockCase{"Next", false, [](IConstEnum& each) { each.next(); }},
                    LockCase{"Reset", false, [](IConstEnum& each) { each.reset(); }},
                    LockCase{"NextModifiable", false,
                             [](IConstEnum& each) { dynamic_cast<IEnum&>(each).nextModifiable(); }},
                    LockCase{"ConstHasMore", true, [](IConstEnum& each) { each.hasMore(); }},
                    LockCase{"ConstNext", true, [](IConstEnum& each) { each.next(); }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lumo
