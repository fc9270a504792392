// The Internet library's dialogs, in a module of their own so that a run
// without a display never loads the GUI libraries. They use the process's
// wx application, which the program made a GUI one when a display is there.
#include <wx/app.h>
#include <wx/msgdlg.h>

#include "peers/kvn_inet/KvnInet.h"

extern "C" __attribute__((visibility("default"))) int KvnInetAsk(const char* title, const char* text, int question) {
  wxAppConsole* app = wxAppConsole::GetInstance();
  if (app == nullptr || !app->IsGUI()) return -1;
  wxMessageDialog dialog(wxTheApp->GetTopWindow(), wxString(text, wxConvLibc), wxString(title, wxConvLibc),
                         question != 0 ? wxYES_NO | wxICON_QUESTION : wxOK | wxICON_INFORMATION);
  const int answer = dialog.ShowModal();
  return answer == wxID_OK || answer == wxID_YES ? 1 : 0;
}
