// The language pack manager. The pack file readers are not part of this
// build yet: a scan finds the candidate files but keeps none of them, so the
// program runs with its built-in English texts.
#include "localization/LangPackMan.h"

#include <cstdlib>
#include <string>

#include "compat/win32/File.h"

namespace {

// The user's interface language as a lower-case tag ("de-at"), from the
// locale variables in the order the C library consults them.
CString LanguageTagFromLocale() {
  for (const char* variable : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value == nullptr || *value == '\0') continue;
    std::string locale = value;
    locale = locale.substr(0, locale.find_first_of(":.@"));
    if (locale == "C" || locale == "POSIX" || locale.empty()) break;
    std::u16string tag;
    for (char c : locale) {
      if (c == '_') {
        tag += u'-';
      } else if (c >= 'A' && c <= 'Z') {
        tag += static_cast<char16_t>(c - 'A' + 'a');
      } else {
        tag += static_cast<char16_t>(static_cast<unsigned char>(c));
      }
    }
    return CString(tag);
  }
  return CString(u"en-us");
}

}  // namespace

void CLangPackMan::Scan(const CString& folder, const CString& shortName) {
  packs_.clear();
  paths_.clear();
  current_ = -1;
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW(folder + shortName + u"*.kvnLang", &entry);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) AddPack(folder + entry.cFileName);
  } while (FindNextFileW(find, &entry));
  FindClose(find);
}

bool CLangPackMan::AddPack(const CString& /*path*/) {
  // Neither pack format is read by this build.
  return false;
}

CString CLangPackMan::SystemLanguageName() const { return LanguageTagFromLocale(); }

int CLangPackMan::Find(const CString& name) const {
  for (int i = 0; i < Count(); ++i) {
    if (packs_[static_cast<std::size_t>(i)]->LanguageName().CompareNoCase(name) == 0) return i;
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

void CLangPackMan::Select(int index) {
  current_ = (index >= 0 && index < Count()) ? index : -1;
}

const CLangPack* CLangPackMan::Current() const { return Get(current_); }

const CLangPack* CLangPackMan::Get(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return packs_[static_cast<std::size_t>(index)].get();
}

CLangPackMan& LangPackMan() {
  static CLangPackMan manager;
  return manager;
}
