// The case table's compressed form, its unpacking and its loading, for the
// table's own source and its tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace compat::win32::casetable {

// Unpacks run-length-compressed values (tools/make_case_table.py describes
// the form) into exactly out.size() values: page indexes of one byte or
// deltas of two. False when the data holds fewer or more values than that or
// ends inside a run; out may then be partly written.
bool Unpack(std::span<const std::uint8_t> packed, std::span<std::uint8_t> out);
bool Unpack(std::span<const std::uint8_t> packed, std::span<std::int16_t> out);

struct PackedCaseTable {
  std::span<const std::uint8_t> indexes;  // the lower, upper and title pages of each 512 code points
  std::span<const std::uint8_t> pages;    // pageCount pages of 512 deltas
  std::size_t pageCount = 0;
  const char* unicodeVersion = "";  // of the character database it was made from
};

// The table compiled into the program.
PackedCaseTable CompiledCaseTable();

// Makes packed the table that LowerCaseOf and its siblings answer from. A
// table whose lengths do not match, or whose index names a page it lacks, is
// rejected: the table is then empty (every mapping the identity) and the
// result false. The program reads the compiled table until one is loaded.
bool LoadCaseTable(const PackedCaseTable& packed);

}  // namespace compat::win32::casetable
