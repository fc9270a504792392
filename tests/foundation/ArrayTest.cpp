// The read-only-element array that string lists are handed in: elements kept by
// identity, insertion, replacement, removal and resizing.

#include <gtest/gtest.h>

#include "foundation/IArray.h"
#include "foundation/String.h"

namespace lumo {
namespace {

TEST(ConstArray, HoldsSharedElementsByIdentity) {
  const String a = "a", b = "b", c = "c", equalToA = "a";
  const P<CConstArray> array = make<CConstArray>();
  array->add(a.get());
  array->add(c.get());
  array->insert(1, b.get());
  array->add(a.get());
  EXPECT_EQ(array->getCount(), 4);
  EXPECT_EQ(array->get(1).get(), static_cast<const IBase*>(b.get().get()));
  EXPECT_EQ(array->indexOf(a.get().get()), 0);
  EXPECT_EQ(array->indexOf(1, a.get().get()), 3);
  EXPECT_EQ(array->indexOf(equalToA.get().get()), -1);  // equal text, another object

  array->set(3, c.get());
  array->remove(0);
  EXPECT_EQ(array->indexOf(b.get().get()), 0);
  EXPECT_EQ(array->indexOf(c.get().get()), 1);
  EXPECT_EQ(array->indexOf(2, c.get().get()), 2);
  array->setCount(4);
  EXPECT_EQ(array->get(3).get(), nullptr);
  array->setCount(1);
  EXPECT_EQ(array->getCount(), 1);
  EXPECT_EQ(array->indexOf(c.get().get()), -1);
  array->setCount(0);
  EXPECT_EQ(array->getCount(), 0);
  array->add(a.get());
  array->clear();
  EXPECT_EQ(array->getCount(), 0);
}

}  // namespace
}  // namespace lumo
