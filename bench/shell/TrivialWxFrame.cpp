// The yardstick for the shell's first window: a wxWidgets GTK program that
// does nothing but show one empty frame.
#include <wx/app.h>
#include <wx/frame.h>

namespace {

class TrivialApp : public wxApp {
 public:
  bool OnInit() override {
    (new wxFrame(nullptr, wxID_ANY, "trivial", wxDefaultPosition, wxSize(480, 300)))->Show();
    return true;
  }
};

}  // namespace

wxIMPLEMENT_APP(TrivialApp);
