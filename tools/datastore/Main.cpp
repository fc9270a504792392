// datastore: lists, extracts and verifies a portable data store (or an
// initial archive), unscrambling it, for support and for people moving their
// portable settings. See datastore.1.
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>

#include "compat/win32/File.h"
#include "compat/win32/Path.h"
#include "compat/win32/StringConv.h"
#include "settings/lapp/AppmanError.h"
#include "settings/lapp/Folders.h"
#include "settings/lapp/ZipArchive.h"

namespace {

namespace fs = std::filesystem;

int Usage() {
  std::fputs("usage: datastore list FILE\n"
             "       datastore extract FILE FOLDER\n"
             "       datastore verify FILE\n",
             stderr);
  return 2;
}

std::u16string Platform(const std::string& path) {
  return compat::win32::WindowsPath(fs::absolute(path).lexically_normal().string());
}

std::string Text(const wxString& text) { return std::string(text.utf8_str()); }

// Extracts every file entry below `folder` (or, without one, into a scratch
// file that is removed again); names that would leave the folder are refused.
int ExtractAll(lapp::CZipLoadManager& reader, const std::u16string& folder, bool keep) {
  int failures = 0;
  const std::u16string scratch = lapp::WithBackslash(reader.GetTempFolder()) + u"entry";
  for (const lapp::CZipLoadManager::EntryInfo& entry : reader.Entries()) {
    if (entry.folder) continue;
    std::u16string target = scratch;
    if (keep) {
      if (!lapp::IsContainedRelativePath(entry.name)) {
        std::fprintf(stderr, "refused: %s (it would leave the folder)\n", Text(entry.name).c_str());
        ++failures;
        continue;
      }
      target = lapp::WithBackslash(folder) + lapp::FromWx(entry.name);
      for (char16_t& c : target)
        if (c == u'/') c = u'\\';
    }
    try {
      reader.ExtractEntry(entry.name, target);
      if (!keep) DeleteFileW(target.c_str());
    } catch (const lapp::CArchiveError& error) {
      std::fprintf(stderr, "%s\n", error.what());
      ++failures;
    }
  }
  return failures;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string command = argv[1];
  try {
    lapp::CZipLoadManager reader(Platform(argv[2]));
    if (command == "list" && argc == 3) {
      for (const lapp::CZipLoadManager::EntryInfo& entry : reader.Entries())
        std::printf("%12lld  %s%s\n", static_cast<long long>(entry.size), Text(entry.name).c_str(),
                    entry.folder ? "/" : "");
      return 0;
    }
    if (command == "extract" && argc == 4) {
      const int failures = ExtractAll(reader, Platform(argv[3]), true);
      return failures == 0 ? 0 : 1;
    }
    if (command == "verify" && argc == 3) {
      int failures = ExtractAll(reader, u"", false);
      if (!reader.HasReadableDescription()) {
        std::fprintf(stderr, "no readable description (%s)\n", lapp::kDescriptionEntry);
        ++failures;
      }
      std::printf("%s\n", failures == 0 ? "ok" : "damaged");
      return failures == 0 ? 0 : 1;
    }
    return Usage();
  } catch (const lapp::CAppmanError& error) {
    std::fprintf(stderr, "%s: %s\n", argv[2], error.code() == 17 ? "no such file" : "cannot be read");
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
  }
  return 1;
}
