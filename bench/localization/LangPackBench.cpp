// Selecting a language pack of 20,000 strings in either format, and the hot
// Localize lookup, beside glibc's gettext on the same catalog compiled with
// msgfmt: its first lookup in a fresh domain (which loads the catalog) and
// its cached lookup.
#include <benchmark/benchmark.h>
#include <libintl.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "compat/win32/StringConv.h"
#include "localization/LangPackMan.h"
#include "localization/Localize.h"
#include "localization/LangPackBytes.h"

namespace {

constexpr int kStrings = 20000;

std::string Key(int i) { return "Bench.Section" + std::to_string(i % 97) + ".Key" + std::to_string(i); }
std::string Text(int i) { return "\xc3\x9c" "bersetzter Text Nummer " + std::to_string(i) + " mit %NAME%"; }

void Write(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// The same catalog as a first-format pack, a chunk-file pack and a gettext
// catalog, in a folder of its own.
struct Catalog {
  std::filesystem::path folder;
  std::vector<std::string> keys;
  std::vector<std::u16string> wideKeys;

  Catalog() {
    char pattern[] = "/tmp/langpack-bench-XXXXXX";
    folder = mkdtemp(pattern);
    PackBytes header, entries1, entries2;
    header.Wide(u"Korvane").Wide(u"9").Wide(u"Deutsch").Wide(u"");
    std::string po = "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n";
    for (int i = 0; i < kStrings; ++i) {
      keys.push_back(Key(i));
      wideKeys.push_back(compat::win32::Utf8ToUtf16(keys.back()));
      const std::u16string text = compat::win32::Utf8ToUtf16(Text(i));
      PackBytes entry;
      entry.Wide(wideKeys.back()).Wide(text).Wide(u"").Wide(u"").U32(1);
      entries1.U32(entry.Size()).Append(entry);
      entries2.U32(0).ChunkText(wideKeys.back()).ChunkText(text).ChunkText(u"").ChunkText(u"");
      po += "msgid \"" + keys.back() + "\"\nmsgstr \"" + Text(i) + "\"\n\n";
    }
    PackBytes format1;
    format1.Raw("LANGPU16").U32(1).U32(1).U32(header.Size()).Append(header).U32(kStrings).Append(entries1);
    Write(folder / "Orbweave1.kvnLang", format1.Str());
    PackBytes body = PackBytes::Chunk("lang", PackBytes().ChunkText(u"de").ChunkText(u"Deutsch").ChunkText(u""));
    body.Append(PackBytes::Chunk("STMP", PackBytes::Chunk("data", PackBytes().U32(kStrings).Append(entries2))));
    Write(folder / "Orbweave2.kvnLang", PackBytes::ChunkFile("URESFILE", body).Str());
    Write(folder / "bench.po", po);
    std::filesystem::create_directories(folder / "de/LC_MESSAGES");
    const std::string msgfmt = "msgfmt -o '" + (folder / "de/LC_MESSAGES/bench.mo").string() + "' '" +
                               (folder / "bench.po").string() + "'";
    if (std::system(msgfmt.c_str()) != 0) std::fprintf(stderr, "msgfmt failed\n");
  }
  ~Catalog() { std::filesystem::remove_all(folder); }
  CString Pack(int format) const {
    return CString(compat::win32::Utf8ToUtf16((folder / ("Orbweave" + std::to_string(format) + ".kvnLang")).string()));
  }
};

const Catalog& TheCatalog() {
  static const Catalog catalog;
  return catalog;
}

// gettext translates only outside the "C" locale; LANGUAGE picks the catalog.
bool UseGettext(benchmark::State& state) {
  setenv("LANGUAGE", "de", 1);
  if (std::setlocale(LC_ALL, "C.UTF-8") == nullptr) {
    state.SkipWithError("no C.UTF-8 locale");
    return false;
  }
  return true;
}

void BM_SelectPack(benchmark::State& state) {
  CLangPackMan manager;
  manager.AddPack(TheCatalog().Pack(static_cast<int>(state.range(0))));
  for (auto _ : state) {
    if (!manager.Select(0)) state.SkipWithError("pack did not read");
    benchmark::DoNotOptimize(manager.Current());
  }
  state.SetItemsProcessed(state.iterations() * kStrings);
}
BENCHMARK(BM_SelectPack)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// Each round binds a new domain to the catalog, so its first lookup loads it.
void BM_GettextLoadCatalog(benchmark::State& state) {
  if (!UseGettext(state)) return;
  const Catalog& catalog = TheCatalog();
  // Domains are never used twice, over repetitions either: gettext keeps a
  // loaded one, and its link exists already.
  static int round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const std::string domain = "bench" + std::to_string(round++);
    std::filesystem::create_symlink(catalog.folder / "de/LC_MESSAGES/bench.mo",
                                    catalog.folder / ("de/LC_MESSAGES/" + domain + ".mo"));
    state.ResumeTiming();
    bindtextdomain(domain.c_str(), catalog.folder.c_str());
    benchmark::DoNotOptimize(dgettext(domain.c_str(), catalog.keys[1].c_str()));
  }
}
BENCHMARK(BM_GettextLoadCatalog)->Iterations(200)->Unit(benchmark::kMillisecond);

// The argument is how many different keys the loop cycles through: a few
// keys asked again and again (a menu being built), or the whole table.
void BM_LocalizeHot(benchmark::State& state) {
  const Catalog& catalog = TheCatalog();
  LangPackMan().AddPack(catalog.Pack(2));
  if (!LangPackMan().Select(LangPackMan().Count() - 1)) state.SkipWithError("pack did not read");
  const auto keys = static_cast<std::size_t>(state.range(0));
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(Localize(catalog.wideKeys[i].c_str(), u"default"));
    if (++i == keys) i = 0;
  }
}
BENCHMARK(BM_LocalizeHot)->Arg(16)->Arg(kStrings);

void BM_GettextHot(benchmark::State& state) {
  if (!UseGettext(state)) return;
  const Catalog& catalog = TheCatalog();
  bindtextdomain("bench", catalog.folder.c_str());
  if (catalog.keys[7] == dgettext("bench", catalog.keys[7].c_str())) state.SkipWithError("gettext found no catalog");
  const auto keys = static_cast<std::size_t>(state.range(0));
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(dgettext("bench", catalog.keys[i].c_str()));
    if (++i == keys) i = 0;
  }
}
BENCHMARK(BM_GettextHot)->Arg(16)->Arg(kStrings);

}  // namespace

BENCHMARK_MAIN();
