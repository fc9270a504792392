// The case table: unpacked by the compiler from the compressed form that
// tools/make_case_table.py writes, so that it lies ready in the program's
// read-only data. A start does no work for it, and only the pages of the
// table that a mapping reads are ever loaded from the file.
#include "compat/win32/CaseRules.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "compat/win32/CaseTableInternal.h"

namespace compat::win32 {
namespace casetable {
namespace {

#include "compat/win32/CaseTableData.inc"

enum Mapping { kLower, kUpper, kTitle, kMappings };

constexpr int kPageBits = 9;
constexpr std::size_t kPageSize = std::size_t{1} << kPageBits;
static_assert(kCaseTablePagesPerMapping * kPageSize >= kCaseTableSize);

template <class Value>
constexpr Value ReadValue(const std::uint8_t* bytes) {
  if constexpr (sizeof(Value) == 1) {
    return bytes[0];
  } else {
    // Deltas are 15-bit signed numbers, so that a single one's high byte
    // stays below the run markers; the few deltas beyond 15 bits, whose bits
    // 15 and 14 differ, are stored with bit 15 set and come only in runs.
    const unsigned stored = unsigned{bytes[0]} << 8 | bytes[1];
    return static_cast<Value>(static_cast<std::uint16_t>(stored ^ ((stored & 0x4000) << 1)));
  }
}

template <class Value>
constexpr bool UnpackValues(std::span<const std::uint8_t> packed, std::span<Value> out) {
  std::size_t in = 0;
  std::size_t done = 0;
  while (in < packed.size()) {
    // Below 0x80 the control byte is already the value's first byte.
    const std::uint8_t control = packed[in];
    const std::size_t header = control < 0x80 ? 0 : control < 0xC0 ? 2 : 1;
    if (packed.size() - in < header + sizeof(Value)) return false;
    const std::size_t count = header == 0   ? 1
                              : header == 1 ? (control & 0x3Fu) + 1
                                            : ((control & 0x3Fu) << 8 | packed[in + 1]) + 65;
    in += header;
    if (out.size() - done < count) return false;
    std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(done), count, ReadValue<Value>(&packed[in]));
    in += sizeof(Value);
    done += count;
  }
  return done == out.size();
}

using Indexes = std::array<std::uint8_t, kMappings * kCaseTablePagesPerMapping>;
using Pages = std::array<std::int16_t, kCaseTablePageCount * kPageSize>;

template <class Table>
constexpr Table Unpacked(std::span<const std::uint8_t> packed) {
  Table table{};
  // Damaged data stops the compilation here: throwing ends constant evaluation.
  if (!UnpackValues(packed, std::span<typename Table::value_type>(table)))
    throw "the compiled case table does not unpack";
  return table;
}

constexpr Indexes kCompiledIndexes = Unpacked<Indexes>(kPackedCaseTableIndexes);
constexpr Pages kCompiledPages = Unpacked<Pages>(kPackedCaseTablePages);

// Where a table loaded at run time is unpacked. After a rejected one every
// index names page 0, whose deltas are zeroed: every mapping is then the
// identity.
Indexes gLoadedIndexes;
Pages gLoadedPages;

// The table the mappings read: the compiled one until another is loaded.
constinit const std::uint8_t* gIndexes = kCompiledIndexes.data();
constinit const std::int16_t* gPages = kCompiledPages.data();

char32_t Map(Mapping mapping, char32_t c) {
  if (c >= kCaseTableSize) return c;
  const std::size_t page = gIndexes[mapping * kCaseTablePagesPerMapping + (c >> kPageBits)];
  const auto delta = static_cast<std::uint16_t>(gPages[page * kPageSize + (c & (kPageSize - 1))]);
  // The sum stays in the code point's plane, where a 16-bit delta reaches
  // every partner: U+A78D lowers to U+0265, 42280 below it.
  return (c & ~char32_t{0xFFFF}) | ((c + delta) & 0xFFFF);
}

}  // namespace

bool Unpack(std::span<const std::uint8_t> packed, std::span<std::uint8_t> out) { return UnpackValues(packed, out); }
bool Unpack(std::span<const std::uint8_t> packed, std::span<std::int16_t> out) { return UnpackValues(packed, out); }

PackedCaseTable CompiledCaseTable() {
  return {kPackedCaseTableIndexes, kPackedCaseTablePages, kCaseTablePageCount, kCaseTableUnicodeVersion};
}

bool LoadCaseTable(const PackedCaseTable& packed) {
  const bool loaded =
      packed.pageCount <= kCaseTablePageCount && Unpack(packed.indexes, gLoadedIndexes) &&
      Unpack(packed.pages, std::span(gLoadedPages).first(packed.pageCount * kPageSize)) &&
      std::all_of(gLoadedIndexes.begin(), gLoadedIndexes.end(),
                  [&](std::uint8_t page) { return page < packed.pageCount; });
  if (!loaded) {
    gLoadedIndexes.fill(0);
    std::fill_n(gLoadedPages.begin(), kPageSize, 0);
  }
  gIndexes = gLoadedIndexes.data();
  gPages = gLoadedPages.data();
  return loaded;
}

}  // namespace casetable

char32_t LowerCaseOf(char32_t c) { return casetable::Map(casetable::kLower, c); }
char32_t UpperCaseOf(char32_t c) { return casetable::Map(casetable::kUpper, c); }
char32_t TitleCaseOf(char32_t c) { return casetable::Map(casetable::kTitle, c); }

}  // namespace compat::win32
