// The language selection dialog: one row per installed language pack, one
// of them checked, and on OK the name of the language for the next start.
//
//   CLanguages dialog(LangPackMan());
//   dialog.SetLinkHandler([] { OpenWebLink("translation"); });
//   if (dialog.DoModal() == IDOK) WriteLanguage(dialog.ChosenLanguage());
//
// The dialog's state and rules live here, so that they can be driven without
// a display (OnInitDialog, SetCheck, OnOK, as the window would call them);
// the window itself is liborbweave_langpacks_wx.so, loaded only when a
// display is there. It calls the rules through the virtual functions, so
// they run in the program with its message boxes and settings.
#pragma once

#include <functional>
#include <span>
#include <vector>

#include "compat/mfc/CString.h"
#include "compat/win32/WinTypes.h"

class CLangPack;
class CLangPackMan;

// One row of the built-in ISO 639-2 table.
struct IsoLanguage {
  const char16_t* codes;      // "deu/ger": terminology code, then bibliographic
  const char16_t* twoLetter;  // ISO 639-1 code, or ""
  const char16_t* englishName;
};

// The whole table, in ascending order of the codes.
std::span<const IsoLanguage> IsoLanguages();
// The English name of the language part of `tag` ("de-at" -> "German"): a
// two-letter part is compared with the ISO 639-1 codes, a three-letter one
// with each code of a row, without regard to case; the first row that
// matches wins. Empty for any other length or when nothing matches.
CString EnglishLanguageName(const CString& tag);

class CLanguages {
 public:
  // Dialog controls, as the window numbers them.
  enum : int { kIdList = 1005, kIdLink = 1006, kIdDescription = 1002 };
  // The link text's colour, 0x00BBGGRR.
  static constexpr std::uint32_t kLinkColor = 0x00FF0000;

  struct Row {
    CString nativeName;   // the pack's third header string
    CString englishName;  // from the ISO 639-2 table by the pack's tag
    CString comments;     // the pack's fourth header string
    const CLangPack* pack = nullptr;
    bool checked = false;
  };

  explicit CLanguages(const CLangPackMan& packs);
  virtual ~CLanguages();

  // With a display the dialog window. Without one nothing is shown: the
  // steps of $ORBWEAVE_LANGUAGES_SCRIPT, comma-separated, act as the user
  // ("check:2", "uncheck:0", "link", "ok", "cancel"), and the end of the
  // script cancels. Answers IDOK once OnOK accepted the choice.
  virtual INT_PTR DoModal();

  // What opening the dialog does: texts, the rows of the packs in the
  // manager's order, the current pack's row checked.
  void OnInitDialog();
  // The check box of `row` changed, by the user or the program: checking one
  // row unchecks the others; unchecking the last checked row checks the row
  // checked last before it again, so one row stays checked.
  virtual void SetCheck(int row, bool checked);
  // OK pressed: false (and a message) keeps the dialog open when no row is
  // checked; else the first checked row's language becomes the choice.
  virtual bool OnOK();
  // The link was clicked.
  virtual void OnLinkClicked();
  void SetLinkHandler(std::function<void()> handler) { m_linkHandler = std::move(handler); }

  const std::vector<Row>& Rows() const { return m_rows; }
  // The language name chosen on OK: the pack's tag, or its third header
  // string when it has none; empty until then.
  const CString& ChosenLanguage() const { return m_chosenLanguage; }

  // The localized texts of the window.
  CString m_title, m_description, m_link, m_ok, m_cancel;
  CString m_columns[3];

 private:
  INT_PTR RunScript();

  const CLangPackMan& m_packs;
  std::vector<Row> m_rows;
  int m_lastChecked = -1;
  CString m_chosenLanguage;
  std::function<void()> m_linkHandler;
};

// The window module's one export: runs `dialog` modally; answers IDOK,
// IDCANCEL, or -1 when the process cannot show windows.
using ShowLanguagesDialogProc = INT_PTR (*)(CLanguages* dialog);
inline constexpr const char kShowLanguagesDialogExport[] = "OrbweaveShowLanguagesDialog";
inline constexpr LPCWSTR kLanguagesDialogModule = u"orbweave_langpacks_wx.dll";
