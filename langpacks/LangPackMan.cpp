// The language pack manager: the packs of the "lang\" folder in the order
// the folder lists them, the three-pass choice of a pack for a language, and
// the current pack.
#include "langpacks/LangPackMan.h"

#include "compat/win32/File.h"
#include "compat/win32/Locale.h"
#include "foundation/IStringLocalizer.h"

namespace {

constexpr int kLocaleNameSize = 16;

CString LocaleInfo(LCID locale, LCTYPE type) {
  WCHAR name[kLocaleNameSize];
  return GetLocaleInfoW(locale, type, name, kLocaleNameSize) > 0 ? CString(name) : CString();
}

// A name with a "-" among its first four characters, or of at most three
// characters, is a language tag; anything else is a language's display name.
bool IsTag(const CString& name) {
  if (name.GetLength() <= 3) return true;
  for (int i = 1; i <= 3; ++i)
    if (name[i] == u'-') return true;
  return false;
}

// The library's error texts live in the pack under keys beginning "lumo.";
// the library asks its own localizer for them, so they are offered to it.
// The localizer stores them at its first use: a start that describes no
// library error never makes it.
void ShareLibraryTexts(const CLangPack& pack) {
  constexpr std::u16string_view kLibraryPrefix = u"lumo.";
  lumo::LocalizerTexts texts;
  for (const auto* entry : pack.Entries()) {
    if (entry->first.text.starts_with(kLibraryPrefix)) texts.emplace_back(std::u16string_view(entry->first), entry->second.str());
  }
  lumo::OfferLocalizerTexts(std::move(texts));
}

}  // namespace

void CLangPackMan::Scan(const CString& folder, const CString& shortName) {
  packs_.clear();
  paths_.clear();
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW(folder + shortName + u"*.kvnLang", &entry);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) AddPack(folder + entry.cFileName);
  } while (FindNextFileW(find, &entry));
  FindClose(find);
}

bool CLangPackMan::AddPack(const CString& path) {
  std::unique_ptr<CLangPack> pack = OpenLangPack(path);
  if (!pack) return false;
  packs_.push_back(std::move(pack));
  paths_.push_back(path);
  return true;
}

CString CLangPackMan::SystemLanguageName() const {
  const LCID locale = MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT);
  CString tag = LocaleInfo(locale, LOCALE_SISO639LANGNAME);
  if (tag.IsEmpty()) tag = LocaleInfo(locale, LOCALE_SABBREVLANGNAME).Left(2);
  tag += u'-';
  CString country = LocaleInfo(locale, LOCALE_SISO3166CTRYNAME);
  if (country.IsEmpty()) {
    country = LocaleInfo(locale, LOCALE_SABBREVCTRYNAME);
    if (country.GetLength() != 2) country.Empty();
  }
  tag += country;
  if (country.IsEmpty()) tag = tag.Left(tag.GetLength() - 1);
  return tag.MakeLower();
}

int CLangPackMan::Find(const CString& name) const {
  if (!IsTag(name)) {
    CString wanted = name;
    wanted.MakeLower();
    for (int i = 0; i < Count(); ++i) {
      CString display = packs_[static_cast<std::size_t>(i)]->HeaderString3();
      if (display.MakeLower().Find(wanted) >= 0) return i;
    }
    return -1;
  }
  // Pass 1: the same tag. Pass 2: a pack as general as the request or more
  // (de for de-at). Pass 3: a more specific pack (de-de for de).
  const CLangTag requested(name.str());
  for (int pass = 1; pass <= 3; ++pass) {
    for (int i = 0; i < Count(); ++i) {
      const CLangTag& tag = packs_[static_cast<std::size_t>(i)]->Tag();
      const int equal = tag.CountEqualParts(requested);
      if (equal == 0) continue;
      const bool packCovered = equal == tag.PartCount();
      const bool requestCovered = equal == requested.PartCount();
      if ((pass == 1 && packCovered && requestCovered) || (pass == 2 && packCovered) ||
          (pass == 3 && requestCovered))
        return i;
    }
  }
  return -1;
}

int CLangPackMan::FindBest(const CString& requested) const {
  for (const CString& name : {requested, SystemLanguageName(), CString(u"en"), CString(u"english")}) {
    const int index = Find(name);
    if (index >= 0) return index;
  }
  return -1;
}

bool CLangPackMan::Select(int index) {
  current_ = -1;
  CLangPack* pack = Get(index);
  if (pack == nullptr || !pack->Load()) return false;
  current_ = index;
  ShareLibraryTexts(*pack);
  return true;
}

CLangPack* CLangPackMan::Current() const { return Get(current_); }

CLangPack* CLangPackMan::Get(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return packs_[static_cast<std::size_t>(index)].get();
}

CLangPackMan& LangPackMan() {
  static CLangPackMan manager;
  return manager;
}
