// A framework program for the splash display test: starts wxWidgets as the
// shell does, shows the splash with the real clock, and at the named frames
// waits for the window system to catch up and photographs the screen.
//
//   SPLASH_SHOT_FOLDER=<folder> shell_splash_probe   # writes <folder>/splash-frame-<n>.png
//   SPLASH_PICTURE_MODULE=<module> shell_splash_probe  # the picture from that module instead
//   SPLASH_KILL_SERVER=<pid> shell_splash_probe        # kills the X server at the first frame's sleep
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <wx/init.h>

#include "compat/mfc/Backend.h"
#include "compat/mfc/WinApp.h"
#include "compat/win32/Module.h"
#include "compat/win32/StringConv.h"
#include "compat/win32/Time.h"
#include "shell/Splash.h"

namespace {

void Pump(DWORD milliseconds) {
  const DWORD start = timeGetTime();
  while (timeGetTime() - start < milliseconds) {
    compat::mfc::CurrentBackend().ProcessPending();
    Sleep(5);
  }
}

class ProbeApp : public CWinApp {
 public:
  BOOL InitInstance() override {
    int argc = 0;
    if (!wxEntryStart(argc, static_cast<wxChar**>(nullptr))) return FALSE;
    // The folder comes from the environment: the framework owns the command line.
    const char* named = std::getenv("SPLASH_SHOT_FOLDER");
    const std::string folder = named != nullptr ? named : ".";
    const char* pictures = std::getenv("SPLASH_PICTURE_MODULE");
    const HMODULE pictureModule =
        pictures != nullptr ? LoadLibraryW(compat::win32::Utf8ToUtf16(pictures).c_str()) : nullptr;
    const char* server = std::getenv("SPLASH_KILL_SERVER");
    int frame = 0;
    SetSplashEnvironment({timeGetTime,
                          [&](DWORD milliseconds) {
                            ++frame;
                            if (server != nullptr) {
                              if (frame == 1) kill(std::atoi(server), SIGKILL);
                            } else if (frame == 3 || frame == 16) {
                              // After frame 3, early in the fade, and frame 16, half-way.
                              Pump(400);
                              const std::string command = "import -window root '" + folder +
                                                          "/splash-frame-" + std::to_string(frame) + ".png'";
                              std::printf("%s: %d\n", command.c_str(), std::system(command.c_str()));
                            }
                            Pump(milliseconds);
                          },
                          u"msimg32.dll", pictureModule});
    EnableSplash(true);
    ShowSplash(true, 1500, 60, nullptr);
    std::printf("frames %d, screen %s\n", frame, compat::mfc::CurrentBackend().HasDisplay() ? "yes" : "no");
    wxEntryCleanup();
    return FALSE;
  }
};

ProbeApp theApp;

}  // namespace
