// Drives the reader of the user's folder file (user-dirs.dirs) over
// arbitrary text. It must never crash; what it finds for an entry is empty or
// a full path (the home folder put in for $HOME), on one line, taken from a
// line of the text that sets that very entry.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "compat/win32/ShellFolders.h"

namespace {

void Check(bool condition, const char* what, std::string_view entry, const std::string& found) {
  if (!condition) {
    std::fprintf(stderr, "%s: %.*s -> %s\n", what, static_cast<int>(entry.size()), entry.data(), found.c_str());
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string home = "/home/ann";
  for (const std::string_view entry : {"XDG_DESKTOP_DIR", "XDG_DOCUMENTS_DIR", "XDG_DESKTOP_DIR_"}) {
    const std::string found = compat::win32::UserDirsEntry(text, entry, home);
    if (found.empty()) continue;
    Check(found[0] == '/', "not a full path", entry, found);
    Check(found.find('\n') == std::string::npos, "more than one line", entry, found);
    // The line that set it: the value as written, or with $HOME for the home folder.
    const std::string written = std::string(entry) + "=\"" + found + "\"";
    const bool literal = text.find(written) != std::string_view::npos;
    const bool fromHome = found.starts_with(home) &&
                          text.find(std::string(entry) + "=\"$HOME" + found.substr(home.size()) + "\"") !=
                              std::string_view::npos;
    Check(literal || fromHome, "not taken from a line of the entry", entry, found);
  }
  return 0;
}
