// The shell's two readers of what other programs hand it.
//
// fuzz_command_line: the tokenizer against the way it used to read a line,
// a search for the next delimiter from every position, which is slow but
// plainly right; both must give the same tokens, and no token is empty or
// holds a quote.
//
// fuzz_pathname_list: the bytes as a list file. Every path is non-empty,
// has no blank at either end and holds no NUL; there are never more paths
// than lines.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "shell/CommandLine.h"
#include "shell/PathnameListFile.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
  }
}

bool IsBlank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

#ifdef FUZZ_COMMAND_LINE
std::vector<std::u16string> ReferenceTokens(std::u16string line) {
  std::size_t first = 0;
  std::size_t last = line.size();
  while (first < last && IsBlank(line[first])) ++first;
  while (last > first && IsBlank(line[last - 1])) --last;
  line = line.substr(first, last - first);
  std::vector<std::u16string> tokens;
  bool inside = false;
  std::size_t start = 0;
  while (start < line.size()) {
    std::size_t end = inside ? line.find(u'"', start) : line.find_first_of(u" \"", start);
    if (end == std::u16string::npos) end = line.size();
    if (end > start) tokens.push_back(line.substr(start, end - start));
    if (end < line.size() && line[end] == u'"') inside = !inside;
    start = end + 1;
  }
  return tokens;
}
#endif

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
#ifdef FUZZ_COMMAND_LINE
  // Two bytes a unit, little-endian; an odd last byte is left out.
  std::u16string line(size / 2, u'\0');
  for (std::size_t i = 0; i < line.size(); ++i) line[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
  // The framework's command line is a C string: it ends at the first NUL.
  line.resize(line.find(u'\0') == std::u16string::npos ? line.size() : line.find(u'\0'));
  const CCommandLine tokens{CString(line)};
  const std::vector<std::u16string> expected = ReferenceTokens(line);
  Check(tokens.Count() == static_cast<int>(expected.size()), "token count differs from the reference");
  for (int i = 0; i < tokens.Count(); ++i) {
    const CString kept = tokens.Token(i);
    const std::u16string& token = kept.str();
    Check(token == expected[static_cast<std::size_t>(i)], "token differs from the reference");
    Check(!token.empty() && token.find(u'"') == std::u16string::npos, "empty token or a quote in one");
  }
  Check(tokens.Token(tokens.Count()).IsEmpty(), "a token past the last");
#else
  static const std::string path = [] {
    char name[] = "/tmp/fuzz-pathname-list-XXXXXX";
    const int fd = mkstemp(name);
    Check(fd >= 0, "no temporary file");
    close(fd);
    return std::string(name);
  }();
  FILE* file = std::fopen(path.c_str(), "wb");
  Check(file != nullptr && std::fwrite(data, 1, size, file) == size && std::fclose(file) == 0,
        "the list could not be written");
  CPathnameListFile list;
  Check(list.Read(CString(std::u16string(path.begin(), path.end()))), "a regular file was not read");
  std::size_t lines = 1;
  for (std::size_t i = 2; i + 1 < size; i += 2) lines += data[i] == '\n' && data[i + 1] == 0 ? 1 : 0;
  for (std::size_t i = 2; i + 1 < size; i += 2) lines += data[i] == 0 && data[i + 1] == '\n' ? 1 : 0;
  Check(static_cast<std::size_t>(list.Count()) <= lines, "more paths than lines");
  for (int i = 0; i < list.Count(); ++i) {
    const std::u16string item = list.Get(i).str();
    Check(!item.empty() && !IsBlank(item.front()) && !IsBlank(item.back()), "empty or untrimmed path");
    Check(item == list.Path(i), "the path and its zero-terminated form differ (a NUL inside)");
  }
#endif
  return 0;
}
