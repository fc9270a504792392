// The language selection dialog's window: a report list with check boxes,
// the link text and OK and Cancel, over the rules of CLanguages, which it
// calls for every check, click and OK.
#include <wx/app.h>
#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/listctrl.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include "compat/mfc/MessageBox.h"
#include "compat/win32/StringConv.h"
#include "langpacks/Languages.h"

namespace {

wxString Wx(const CString& text) { return wxString::FromUTF8(compat::win32::Utf16ToUtf8(text.str())); }

wxColour FromColorRef(std::uint32_t color) {
  return wxColour(static_cast<unsigned char>(color & 0xFF), static_cast<unsigned char>((color >> 8) & 0xFF),
                  static_cast<unsigned char>((color >> 16) & 0xFF));
}

class LanguagesDialog : public wxDialog {
 public:
  explicit LanguagesDialog(CLanguages& model)
      : wxDialog(wxTheApp->GetTopWindow(), wxID_ANY, Wx(model.m_title)), model_(model) {
    auto* all = new wxBoxSizer(wxVERTICAL);
    all->Add(new wxStaticText(this, CLanguages::kIdDescription, Wx(model.m_description)), 0, wxALL, 10);

    list_ =
        new wxListCtrl(this, CLanguages::kIdList, wxDefaultPosition, wxSize(520, 200), wxLC_REPORT | wxLC_SINGLE_SEL);
    list_->EnableCheckBoxes();
    const int widths[] = {170, 170, 170};
    for (int column = 0; column < 3; ++column)
      list_->InsertColumn(column, Wx(model.m_columns[column]), wxLIST_FORMAT_LEFT, widths[column]);
    const auto& rows = model.Rows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const long item = list_->InsertItem(static_cast<long>(i), Wx(rows[i].nativeName));
      list_->SetItem(item, 1, Wx(rows[i].englishName));
      list_->SetItem(item, 2, Wx(rows[i].comments));
    }
    ShowChecks();
    all->Add(list_, 1, wxEXPAND | wxLEFT | wxRIGHT, 10);

    auto* link = new wxStaticText(this, CLanguages::kIdLink, Wx(model.m_link));
    link->SetFont(wxFont(8, wxFONTFAMILY_SWISS, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL, true, "Ms Sans Serif"));
    link->SetForegroundColour(FromColorRef(CLanguages::kLinkColor));
    link->SetCursor(wxCursor(wxCURSOR_HAND));
    link->Bind(wxEVT_LEFT_UP, [this](wxMouseEvent&) { model_.OnLinkClicked(); });
    all->Add(link, 0, wxALL, 10);

    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->AddStretchSpacer();
    buttons->Add(new wxButton(this, wxID_OK, Wx(model.m_ok)), 0, wxRIGHT, 8);
    buttons->Add(new wxButton(this, wxID_CANCEL, Wx(model.m_cancel)));
    all->Add(buttons, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 10);
    SetSizerAndFit(all);
    CentreOnParent();

    list_->Bind(wxEVT_LIST_ITEM_CHECKED, [this](wxListEvent& event) { Changed(event, true); });
    list_->Bind(wxEVT_LIST_ITEM_UNCHECKED, [this](wxListEvent& event) { Changed(event, false); });
    Bind(
        wxEVT_BUTTON,
        [this](wxCommandEvent&) {
          if (model_.OnOK()) EndModal(wxID_OK);
        },
        wxID_OK);
  }

 private:
  void Changed(wxListEvent& event, bool checked) {
    if (syncing_) return;
    model_.SetCheck(static_cast<int>(event.GetIndex()), checked);
    ShowChecks();
  }

  // The list shows the model's checks; the changes this makes are not the user's.
  void ShowChecks() {
    syncing_ = true;
    const auto& rows = model_.Rows();
    for (std::size_t i = 0; i < rows.size(); ++i) list_->CheckItem(static_cast<long>(i), rows[i].checked);
    syncing_ = false;
  }

  CLanguages& model_;
  wxListCtrl* list_ = nullptr;
  bool syncing_ = false;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) INT_PTR OrbweaveShowLanguagesDialog(CLanguages* model) {
  wxAppConsole* app = wxAppConsole::GetInstance();
  if (app == nullptr || !app->IsGUI()) return -1;
  LanguagesDialog dialog(*model);
  return dialog.ShowModal() == wxID_OK ? IDOK : IDCANCEL;
}
