// Random text read as a translator's .po catalog: the reader must refuse it
// or read it, and what it reads must survive the writer: reading the
// written catalog gives the same catalog, and writing that gives the same
// text. No field may hold a zero byte, at which a pack's text would end.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tools/langpack/PoFile.h"

namespace {

bool HoldsZero(const langpack::Catalog& catalog) {
  for (const std::string* field : {&catalog.language, &catalog.languageName, &catalog.project, &catalog.revision,
                                   &catalog.comment})
    if (field->find('\0') != std::string::npos) return true;
  for (const langpack::Message& message : catalog.messages)
    if (message.key.find('\0') != std::string::npos || message.text.find('\0') != std::string::npos) return true;
  return false;
}

bool Same(const langpack::Catalog& a, const langpack::Catalog& b) {
  return a.language == b.language && a.languageName == b.languageName && a.project == b.project &&
         a.revision == b.revision && a.comment == b.comment && a.messages == b.messages;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  langpack::Catalog catalog;
  try {
    catalog = langpack::ReadPo(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.po");
  } catch (const langpack::Error&) {
    return 0;
  }
  if (HoldsZero(catalog)) std::abort();
  const std::string written = langpack::WritePo(catalog);
  langpack::Catalog back;
  try {
    back = langpack::ReadPo(written, "written.po");
  } catch (const langpack::Error&) {
    std::abort();  // the writer made a catalog its own reader refuses
  }
  if (!Same(back, catalog) || langpack::WritePo(back) != written) std::abort();
  return 0;
}
