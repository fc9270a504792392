// The language selection dialog's rows and rules, and the ISO 639-2 table.
#include "langpacks/Languages.h"

#include <charconv>
#include <cstdlib>
#include <string_view>

#include "compat/mfc/Backend.h"
#include "compat/mfc/MessageBox.h"
#include "compat/win32/Module.h"
#include "langpacks/LangPackMan.h"
#include "langpacks/Localize.h"

namespace {

constexpr IsoLanguage kIsoLanguages[] = {
#include "langpacks/LanguageTable.inc"
};

bool EqualNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

bool MatchesCodes(std::u16string_view codes, std::u16string_view code) {
  while (!codes.empty()) {
    const std::size_t slash = codes.find(u'/');
    if (EqualNoCase(codes.substr(0, slash), code)) return true;
    codes = slash == std::u16string_view::npos ? std::u16string_view() : codes.substr(slash + 1);
  }
  return false;
}

}  // namespace

std::span<const IsoLanguage> IsoLanguages() { return kIsoLanguages; }

CString EnglishLanguageName(const CString& tag) {
  const std::u16string_view text = tag.str();
  const std::u16string_view code = text.substr(0, text.find(u'-'));
  if (code.size() != 2 && code.size() != 3) return CString();
  for (const IsoLanguage& language : kIsoLanguages) {
    if (code.size() == 2 ? EqualNoCase(language.twoLetter, code) : MatchesCodes(language.codes, code))
      return CString(language.englishName);
  }
  return CString();
}

CLanguages::CLanguages(const CLangPackMan& packs) : m_packs(packs) {}

CLanguages::~CLanguages() = default;

INT_PTR CLanguages::DoModal() {
  OnInitDialog();
  if (!compat::mfc::CurrentBackend().HasDisplay()) return RunScript();
  // Loaded once and kept, as the GUI libraries it pulls in cannot be unloaded.
  static const auto show = []() -> ShowLanguagesDialogProc {
    HMODULE module = LoadLibraryW(kLanguagesDialogModule);
    return module != nullptr
               ? reinterpret_cast<ShowLanguagesDialogProc>(GetProcAddress(module, kShowLanguagesDialogExport))
               : nullptr;
  }();
  const INT_PTR answer = show != nullptr ? show(this) : -1;
  return answer == IDOK ? IDOK : IDCANCEL;
}

INT_PTR CLanguages::RunScript() {
  const char* script = std::getenv("ORBWEAVE_LANGUAGES_SCRIPT");
  std::string_view rest = script != nullptr ? script : "";
  while (!rest.empty()) {
    const std::string_view step = rest.substr(0, rest.find(','));
    rest = step.size() < rest.size() ? rest.substr(step.size() + 1) : std::string_view();
    const std::size_t colon = step.find(':');
    int row = -1;
    if (colon != std::string_view::npos) std::from_chars(step.data() + colon + 1, step.data() + step.size(), row);
    const std::string_view action = step.substr(0, colon);
    if (action == "check" || action == "uncheck") {
      SetCheck(row, action == "check");
    } else if (action == "link") {
      OnLinkClicked();
    } else if (action == "ok" && OnOK()) {
      return IDOK;
    } else if (action == "cancel") {
      break;
    }
  }
  return IDCANCEL;
}

void CLanguages::OnInitDialog() {
  m_title = Localize(u"CLanguages.WindowTitle", u"Please choose a Language");
  m_ok = Localize(u"Global.OkButton", u"&OK");
  m_cancel = Localize(u"Global.CancelButton", u"&Cancel");
  m_link = Localize(u"CLanguages.LanguageNotAvailabeLink", u"Is your language not available? Click here!");
  m_description =
      Localize(u"CLanguages.LangDesc", u"Please place a check-mark next to the language you would like to choose.");
  m_columns[0] = Localize(u"CLanguages.NativeLanguageName", u"Native Language Name");
  m_columns[1] = Localize(u"CLanguages.EnglishLanguageName", u"English Language Name");
  m_columns[2] = Localize(u"CLanguages.Comments", u"Comments");

  m_rows.clear();
  m_lastChecked = -1;
  m_chosenLanguage.Empty();
  for (int i = 0; i < m_packs.Count(); ++i) {
    Row row;
    if (const CLangPack* pack = m_packs.Get(i)) {
      row = {pack->HeaderString3(), EnglishLanguageName(pack->Tag().Name()), pack->HeaderString4(), pack};
    }
    m_rows.push_back(row);
  }
  const int current = m_packs.CurrentIndex();
  if (current >= 0 && current < static_cast<int>(m_rows.size())) SetCheck(current, true);
}

void CLanguages::SetCheck(int row, bool checked) {
  if (row < 0 || row >= static_cast<int>(m_rows.size())) return;
  m_rows[static_cast<std::size_t>(row)].checked = checked;
  if (checked) {
    m_lastChecked = row;
    for (int other = 0; other < static_cast<int>(m_rows.size()); ++other) {
      if (other != row) m_rows[static_cast<std::size_t>(other)].checked = false;
    }
    return;
  }
  for (const Row& r : m_rows) {
    if (r.checked) return;
  }
  if (m_lastChecked >= 0) m_rows[static_cast<std::size_t>(m_lastChecked)].checked = true;
}

bool CLanguages::OnOK() {
  for (const Row& row : m_rows) {
    if (!row.checked) continue;
    m_chosenLanguage = row.pack != nullptr ? row.pack->LanguageName() : CString();
    return true;
  }
  AfxMessageBox(u"No language packs are installed. The language of the program will be english.", MB_ICONINFORMATION);
  return false;
}

void CLanguages::OnLinkClicked() {
  if (m_linkHandler) m_linkHandler();
}
