// The chained hash table: where it grows, keys matched across encodings, and release of what it holds.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "FoundationTestSupport.h"
#include "foundation/CString.h"
#include "foundation/Exception.h"
#include "foundation/SimpleHashTable.h"

namespace lumo {
namespace {

using Table = TSimpleHashTable<String, int>;

String Key(int n) { return String(("key" + std::to_string(n)).c_str()); }

String UTF8(const char* text) { return make<CUTF8String>(reinterpret_cast<const std::uint8_t*>(text)); }
String UTF32(const char32_t* text) { return make<CUTF32String>(reinterpret_cast<const std::uint32_t*>(text)); }

TEST(SimpleHashTable, GrowsBeforeTheInsertionThatReachesTheLoadFactor) {
  // Buckets at the start, load and growth factors, and the buckets after each insertion.
  const std::tuple<std::int32_t, double, double, std::vector<std::int32_t>> cases[] = {
      // Nothing allocated until the first insertion, which makes 10; the
      // 8th insertion finds 7 + 1 >= 10 x 0.8 and doubles; the 16th again.
      {0, 0.8, 2.0, {10, 10, 10, 10, 10, 10, 10, 20, 20, 20, 20, 20, 20, 20, 20, 40}},
      // A growth factor that does not grow still adds one bucket.
      {10, 0.8, 1.0, {10, 10, 10, 10, 10, 10, 10, 11, 12, 13}},
      // 3 x 1.5 truncates to 4, 4 x 1.5 is 6.
      {3, 1.0, 1.5, {3, 3, 4, 6, 6, 9}},
      // One bucket is allocated as given; chains may grow longer than 1.
      {1, 2.0, 2.0, {1, 2, 2, 4}},
  };
  for (const auto& [initialBuckets, loadFactor, growthFactor, bucketsAfterEachInsertion] : cases) {
    SCOPED_TRACE(::testing::Message() << initialBuckets << " buckets, load " << loadFactor);
    Table table(initialBuckets, loadFactor, growthFactor);
    EXPECT_EQ(table.getBucketCount(), initialBuckets);
    EXPECT_EQ(table.getBuckets() == nullptr, initialBuckets == 0);
    int n = 0;
    for (const std::int32_t expected : bucketsAfterEachInsertion) {
      table.insert(Key(n), n);
      ++n;
      ASSERT_EQ(table.getBucketCount(), expected) << "after insertion " << n;
      EXPECT_EQ(std::distance(table.begin(), table.end()), n);
      // Setting the value of a present key is no insertion.
      table.insert(Key(0), 0);
      EXPECT_EQ(table.getBucketCount(), expected);
    }
    EXPECT_EQ(table.getCount(), n);
    for (int i = 0; i < n; ++i) EXPECT_THAT(table.find(Key(i)), testing::Pointee(i));
  }
}

TEST(SimpleHashTable, RefusesANegativeBucketCountOrNoLoad) {
  EXPECT_THROW(Table(-1, 0.8, 2.0), CInvalidArgError);
  EXPECT_THROW(Table(10, 0.0, 2.0), CInvalidArgError);
}

TEST(SimpleHashTable, MatchesKeysByCodePointsAcrossEncodings) {
  TSimpleHashTable<P<IString>, int> table(0, 0.8, 2.0);
  table.insert(UTF8("Abc").get(), 1);
  table.insert(UTF8("Gr\xc3\xbc\xc3\x9f" "e \xf0\x9f\x98\x80").get(), 2);
  // The value found, or 0 for none.
  const std::pair<String, int> probes[] = {
      {u"Abc", 1}, {"Abc", 1}, {UTF32(U"Abc"), 1}, {u"abc", 0}, {u"Ab", 0}, {u"Abcd", 0},
      {u"Gr\u00fc\u00dfe \U0001F600", 2}, {UTF32(U"Gr\u00fc\u00dfe \U0001F600"), 2},
      {u"Gr\u00fc\u00dfe \U0001F601", 0},
  };
  for (const auto& [key, expected] : probes) {
    const int* found = table.find(*key);
    EXPECT_EQ(found ? *found : 0, expected) << ToUTF8(key);
  }
  // The same text in UTF-16 sets the value; the key keeps its first spelling.
  table.insert(String(u"Abc").get(), 3);
  EXPECT_EQ(table.getCount(), 2);
  EXPECT_EQ(*table.find(*String("Abc")), 3);
  for (const auto& node : table) EXPECT_EQ(node.key->getEncodingId(), kUTF8EncodingId);
  // Keys of equal hashes stay apart: "ay" and "ba", and "ay" behind a NUL.
  const String colliding[] = {u"ay", u"ba", make<CWCharString>(u"\0ay", 6)};
  for (int i = 0; i < 3; ++i) table.insert(colliding[i].get(), 10 + i);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(*table.find(*colliding[i]), 10 + i);
  EXPECT_EQ(table.find(*String(u"ay\u18fb")), nullptr);  // the same hash again, and "ay" begins it
  EXPECT_EQ(table.getCount(), 5);
  EXPECT_TRUE(table.remove(*colliding[1]));
  EXPECT_EQ(*table.find(*colliding[0]), 10);
  EXPECT_TRUE(table.remove(*String(u"Abc")));
  EXPECT_EQ(table.getCount(), 3);
  // Other bytes in one encoding are still the same key where a malformed unit makes them one text.
  const std::pair<String, String> sameText[] = {
      {make<CWCharString>(u"k\xD800", 4), make<CWCharString>(u"k\xDC00", 4)},
      {UTF8("k\xff"), UTF8("k\x80")},
  };
  for (const auto& [stored, other] : sameText) {
    ASSERT_EQ(stored, other);
    table.insert(stored.get(), 20);
    EXPECT_NE(table.find(*other), nullptr) << ToUTF8(other);
  }
}

// A key that counts its destructions.
class CCountedKey final : public CLatin1String {
 public:
  CCountedKey(const char* text, int& destroyed) : CLatin1String(text), destroyed(destroyed) {}

 private:
  ~CCountedKey() override { ++destroyed; }
  int& destroyed;
};

TEST(SimpleHashTable, ReleasesKeyAndValueOfRemovedAndReplacedNodes) {
  int keysDestroyed = 0, valuesDestroyed = 0;
  const auto destroyed = [&] { return std::pair{keysDestroyed, valuesDestroyed}; };
  {
    TSimpleHashTable<String, P<test::TCounted<>>> table;
    EXPECT_EQ(table.find(u"a"), nullptr);  // no buckets yet
    EXPECT_FALSE(table.remove(u"a"));
    for (const char* name : {"a", "b", "c", "d"}) {
      table.insert(make<CCountedKey>(name, keysDestroyed), make<test::TCounted<>>(valuesDestroyed));
    }
    EXPECT_EQ(destroyed(), std::pair(0, 0));
    EXPECT_TRUE(table.remove(u"b"));
    EXPECT_EQ(destroyed(), std::pair(1, 1));
    // A new value for a present key releases the old value, not the key.
    table.insert(u"c", make<test::TCounted<>>(valuesDestroyed));
    EXPECT_EQ(destroyed(), std::pair(1, 2));
    table.clear();
    EXPECT_EQ(table.getBucketCount(), 10);  // a table never shrinks
    EXPECT_TRUE(table.begin() == table.end());
    EXPECT_EQ(destroyed(), std::pair(4, 5));
    table.insert(make<CCountedKey>("e", keysDestroyed), make<test::TCounted<>>(valuesDestroyed));
  }
  EXPECT_EQ(destroyed(), std::pair(5, 6));
}

}  // namespace
}  // namespace lumo
