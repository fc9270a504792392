// Loads random bytes as a data store: the input is the plain archive, which
// the harness scrambles as the writer would, so the zip reader and the
// description are what the fuzzer explores. A file and a folder handler are
// registered below one work folder; after each load nothing may exist in it
// but the data store, the items' own places and an empty temporary folder.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "compat/win32/Path.h"
#include "settings/lapp/AppmanError.h"
#include "settings/lapp/CryptedFileStream.h"
#include "settings/lapp/DataStoreHandlers.h"
#include "settings/lapp/ZipArchive.h"

namespace {

namespace fs = std::filesystem;

// Fixed, so that names found once stay valid for the corpus.
const std::string kWork = "/tmp/orbweave-datastore-fuzz";

bool Allowed(const fs::path& path) {
  const std::string relative = fs::relative(path, kWork).generic_string();
  return relative == "data.db" || relative == "tmp" || relative == "items" || relative.rfind("items/", 0) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fs::create_directories(kWork + "/tmp");
  setenv("TMPDIR", (kWork + "/tmp").c_str(), 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fs::remove_all(kWork + "/items");
  std::vector<unsigned char> bytes(data, data + size);
  lapp::CryptTransform(bytes.data(), static_cast<std::ptrdiff_t>(bytes.size()), 0);
  std::ofstream(kWork + "/data.db", std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));

  const std::u16string items = compat::win32::WindowsPath(kWork + "/items");
  lapp::HandlerMap handlers;
  handlers.emplace(items + u"\\tree\\", std::make_unique<lapp::CFolderHandler>(items + u"\\tree\\", 4));
  handlers.emplace(items + u"\\f.txt", std::make_unique<lapp::CFileHandler>(items + u"\\f.txt", 4));
  try {
    lapp::LoadSet(compat::win32::WindowsPath(kWork + "/data.db"), "regentry_user", handlers);
  } catch (const lapp::CArchiveError&) {
  } catch (const lapp::CAppmanError&) {
  }
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(kWork)) {
    if (!Allowed(entry.path())) {
      std::fprintf(stderr, "written outside the items: %s\n", entry.path().c_str());
      std::abort();
    }
  }
  return 0;
}
