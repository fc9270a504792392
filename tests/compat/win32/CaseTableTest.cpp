// The Unicode case table: lookup at its edges, unpacking of the compressed form, rejection of a damaged one.

#include <gtest/gtest.h>

#include <optional>
#include <tuple>
#include <utility>
#include <vector>

#include "compat/win32/CaseRules.h"
#include "compat/win32/CaseTableInternal.h"

namespace compat::win32 {
namespace {

using CodePoint = std::uint32_t;

TEST(CaseTable, MapsByTheSimpleMappingsOfEveryPlane) {
  // A code point and its lower, upper and title case.
  const std::tuple<CodePoint, CodePoint, CodePoint, CodePoint> rows[] = {
      {u'A', u'a', u'A', u'A'},
      {0x130, 0x69, 0x130, 0x130},  // capital I with dot above lowers to plain i
      {0x1C4, 0x1C6, 0x1C4, 0x1C5},  // DZ with caron: three forms, the title one its own
      {0x10D0, 0x10D0, 0x1C90, 0x10D0},  // Georgian: a title field of its own, not the upper mapping
      {0xDF, 0xDF, 0xDF, 0xDF},  // sharp s has no one-to-one upper mapping
      {0xA78D, 0x265, 0xA78D, 0xA78D},  // partners further apart than 15 bits reach
      {0x265, 0x265, 0xA78D, 0xA78D},
      {0x10400, 0x10428, 0x10400, 0x10400},  // Deseret
      {0x2FA1D, 0x2FA1D, 0x2FA1D, 0x2FA1D},  // the table's last code point
      {kCaseTableSize, kCaseTableSize, kCaseTableSize, kCaseTableSize},
      {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF},
  };
  for (const auto& [c, lower, upper, title] : rows) {
    SCOPED_TRACE(testing::Message() << "U+" << std::hex << c);
    EXPECT_EQ(LowerCaseOf(c), lower);
    EXPECT_EQ(UpperCaseOf(c), upper);
    EXPECT_EQ(TitleCaseOf(c), title);
  }
}

// What Unpack gives for bytes into a buffer of `size` values of the given
// width, as (value, count) runs; nothing when it refuses them.
using Runs = std::vector<std::pair<int, std::size_t>>;

template <class Value>
std::optional<Runs> Unpacked(const std::vector<std::uint8_t>& bytes, std::size_t size) {
  std::vector<Value> out(size);
  if (!casetable::Unpack(bytes, out)) return std::nullopt;
  Runs runs;
  for (const Value v : out) {
    if (runs.empty() || runs.back().first != v) runs.emplace_back(v, 0);
    ++runs.back().second;
  }
  return runs;
}

TEST(CaseTable, UnpacksSinglesShortAndLongRuns) {
  struct Row {
    const char* what;
    int width;
    std::vector<std::uint8_t> bytes;
    std::size_t size;
    std::optional<Runs> expected;
  };
  const Row rows[] = {
      {"single bytes", 1, {0x05, 0x7F, 0x05}, 3, Runs{{5, 1}, {0x7F, 1}, {5, 1}}},
      {"short runs", 1, {0xC0, 0x90, 0xFF, 0x03}, 65, Runs{{0x90, 1}, {3, 64}}},
      {"shortest long run", 1, {0x80, 0x00, 0x09}, 65, Runs{{9, 65}}},
      {"longest long run", 1, {0xBF, 0xFF, 0x01, 0x02}, 16449, Runs{{1, 16448}, {2, 1}}},
      {"15-bit deltas", 2, {0x00, 0x20, 0x7F, 0xFF, 0x40, 0x00, 0x3F, 0xFF}, 4,
       Runs{{32, 1}, {-1, 1}, {-16384, 1}, {16383, 1}}},
      {"deltas in runs", 2, {0xC1, 0x7F, 0xE0, 0x81, 0x00, 0x00, 0x01}, 323, Runs{{-32, 2}, {1, 321}}},
      {"deltas beyond 15 bits", 2, {0xC0, 0xA5, 0x4F, 0xC0, 0xDA, 0xB1}, 2, Runs{{-23217, 1}, {23217, 1}}},
      {"too few values", 1, {0x05}, 2, std::nullopt},
      {"nothing for one value", 2, {}, 1, std::nullopt},
      {"more values than room", 1, {0x05, 0x06}, 1, std::nullopt},
      {"a run past the end", 1, {0xC3, 0x01}, 3, std::nullopt},
      {"ends before a run's value", 1, {0xC0}, 1, std::nullopt},
      {"ends inside a long run's count", 1, {0x80}, 65, std::nullopt},
      {"ends inside a delta", 2, {0xC0, 0x00}, 1, std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(row.width == 1 ? Unpacked<std::uint8_t>(row.bytes, row.size)
                             : Unpacked<std::int16_t>(row.bytes, row.size),
              row.expected);
  }
}

// Tables made up here; the compiled one is put back after each test.
class MadeUpCaseTable : public testing::Test {
 protected:
  void TearDown() override { EXPECT_TRUE(casetable::LoadCaseTable(casetable::CompiledCaseTable())); }

  static constexpr std::size_t kPagesPerMapping = (kCaseTableSize + 511) / 512;

  // count (65 or more) copies of one value, appended to bytes.
  static void AddRun(std::vector<std::uint8_t>& bytes, std::size_t count, std::vector<std::uint8_t> value) {
    bytes.push_back(static_cast<std::uint8_t>(0x80 | (count - 65) >> 8));
    bytes.push_back(static_cast<std::uint8_t>((count - 65) & 0xFF));
    bytes.insert(bytes.end(), value.begin(), value.end());
  }
};

TEST_F(MadeUpCaseTable, AnyWellFormedTableIsTaken) {
  // Lower adds 1, upper subtracts 1, title is the identity.
  std::vector<std::uint8_t> indexes, pages;
  AddRun(indexes, kPagesPerMapping, {1});
  AddRun(indexes, kPagesPerMapping, {2});
  AddRun(indexes, kPagesPerMapping, {0});
  AddRun(pages, 512, {0x00, 0x00});
  AddRun(pages, 512, {0x00, 0x01});
  AddRun(pages, 512, {0x7F, 0xFF});
  ASSERT_TRUE(casetable::LoadCaseTable({indexes, pages, 3}));

  EXPECT_EQ(LowerCaseOf(0), 1u);
  EXPECT_EQ(LowerCaseOf(0x2FA1D), kCaseTableSize);
  EXPECT_EQ(LowerCaseOf(kCaseTableSize), kCaseTableSize);  // beyond the table, whatever its pages say
  EXPECT_EQ(LowerCaseOf(0xFFFF), 0u);  // the sum wraps within the plane
  EXPECT_EQ(UpperCaseOf(0x10000), 0x1FFFFu);
  EXPECT_EQ(TitleCaseOf(u'b'), u'b');
}

TEST_F(MadeUpCaseTable, DamagedTableIsRejectedAndEveryMappingIsTheIdentity) {
  const casetable::PackedCaseTable compiled = casetable::CompiledCaseTable();
  std::vector<std::uint8_t> pagesPlusOne(compiled.pages.begin(), compiled.pages.end());
  pagesPlusOne.insert(pagesPlusOne.end(), {0x00, 0x00});
  // One page, adding 1, and indexes that all name a second one.
  std::vector<std::uint8_t> pastTheLastPage, onePage;
  AddRun(pastTheLastPage, 3 * kPagesPerMapping, {1});
  AddRun(onePage, 512, {0x00, 0x01});

  struct Row {
    const char* what;
    casetable::PackedCaseTable table;
  };
  const Row rows[] = {
      {"indexes cut short", {compiled.indexes.first(compiled.indexes.size() - 1), compiled.pages, compiled.pageCount}},
      {"pages cut short", {compiled.indexes, compiled.pages.first(compiled.pages.size() - 2), compiled.pageCount}},
      {"a value too many", {compiled.indexes, pagesPlusOne, compiled.pageCount}},
      {"fewer pages than the data holds", {compiled.indexes, compiled.pages, compiled.pageCount - 1}},
      {"more pages than the table has room for", {compiled.indexes, compiled.pages, compiled.pageCount + 1}},
      {"an index naming no page", {pastTheLastPage, onePage, 1}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ASSERT_TRUE(casetable::LoadCaseTable(compiled));
    EXPECT_FALSE(casetable::LoadCaseTable(row.table));
    for (const CodePoint c : {CodePoint{u'A'}, CodePoint{0x1C4}, CodePoint{0x10428}}) {
      EXPECT_EQ(LowerCaseOf(c), c);
      EXPECT_EQ(UpperCaseOf(c), c);
      EXPECT_EQ(TitleCaseOf(c), c);
    }
  }
}

}  // namespace
}  // namespace compat::win32
