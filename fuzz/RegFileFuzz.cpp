// Drives registry-file reading over arbitrary bytes: decoding, parsing, and a
// round trip. A file that parses is written again in its own format and must
// read back as the same changes, unless the writer said what it could not
// hold exactly; every refusal names the line it stopped at.

#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "peers/regedit/RegFile.h"

namespace {

[[noreturn]] void Die(const char* what, const std::string& detail) {
  std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
  std::abort();
}

bool SameChange(const regfile::Change& a, const regfile::Change& b) {
  return a.kind == b.kind && a.root == b.root && a.path == b.path && a.name == b.name && a.type == b.type &&
         a.data == b.data;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // REGEDIT4 text is in the ANSI code page, which follows the locale.
  std::setlocale(LC_ALL, "C.UTF-8");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  regfile::Document first;
  try {
    first = regfile::Parse(regfile::DecodeFile(bytes));
  } catch (const regfile::Error& error) {
    if (!std::string_view(error.what()).starts_with("line ")) Die("refusal without a line", error.what());
    return 0;
  }
  std::vector<regfile::Loss> losses;
  const std::string written = regfile::Write(first, &losses);
  regfile::Document second;
  try {
    second = regfile::Parse(regfile::DecodeFile(written));
  } catch (const regfile::Error& error) {
    Die("a written file does not read back", error.what());
  }
  if (!losses.empty()) return 0;
  if (second.format != first.format) Die("the format changed", "");
  if (second.changes.size() != first.changes.size())
    Die("the number of changes differs", std::to_string(first.changes.size()) + " vs " +
                                             std::to_string(second.changes.size()));
  for (std::size_t i = 0; i < first.changes.size(); ++i)
    if (!SameChange(first.changes[i], second.changes[i]))
      Die("a change differs after the round trip", "change " + std::to_string(i) + " of line " +
                                                       std::to_string(first.changes[i].line));
  return 0;
}
