// A framework program for the tests: its application object reports what the
// framework handed it, and does what PROBE_* variables ask.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "compat/mfc/Backend.h"
#include "compat/mfc/MessageBox.h"
#include "compat/mfc/WinApp.h"
#include "compat/win32/Process.h"
#include "compat/win32/StringConv.h"
#include "compat/win32/Sync.h"

namespace {

std::string Utf8(LPCWSTR text) { return text != nullptr ? compat::win32::Utf16ToUtf8(text) : "(null)"; }

class ProbeApp : public CWinApp {
 public:
  ProbeApp() {
    // As a second instance ends itself while the object is being built.
    if (const char* code = std::getenv("PROBE_EXIT_IN_CONSTRUCTOR")) ExitProcess(std::atoi(code));
    if (std::getenv("PROBE_RECORD") != nullptr) compat::mfc::UseRecordingBackend();
  }

  BOOL InitInstance() override {
    std::printf("cmdline=[%s]\n", Utf8(m_lpCmdLine).c_str());
    std::printf("exe=%s\n", Utf8(m_pszExeName).c_str());
    std::printf("app=%s\n", Utf8(m_pszAppName).c_str());
    const bool instanceSet = m_hInstance != nullptr && AfxGetInstanceHandle() == m_hInstance;
    std::printf("instance=%s\n", instanceSet ? "set" : "unset");
    std::printf("locale=%s %s %s\n", std::setlocale(LC_CTYPE, nullptr), std::setlocale(LC_COLLATE, nullptr),
                std::setlocale(LC_NUMERIC, nullptr));
    AfxMessageBox(u"Could not load orbcore.dll", MB_ICONERROR);
    std::printf("recorded=%zu\n", compat::mfc::RecordedMessages().size());
    return std::getenv("PROBE_INIT_TRUE") != nullptr;
  }

  int ExitInstance() override {
    const char* code = std::getenv("PROBE_EXIT_CODE");
    return code != nullptr ? std::atoi(code) : CWinApp::ExitInstance();
  }
};

ProbeApp theApp;

}  // namespace
