// The usage and version texts. They are asked for before anything starts
// (no settings, no language pack), so they are English and fixed.
#include "shell/ProgramInfo.h"

#include <cstring>

#include "compat/win32/StringConv.h"

namespace {

constexpr const char* kUsage =
    "Usage: orbweave [TASK]\n"
    "Start Korvane Orbweave 9, or go straight to one task.\n"
    "\n"
    "Tasks:\n"
    "  -datacd LISTFILE       burn a data disc of the files and folders named in LISTFILE\n"
    "  -audiocd LISTFILE      burn an audio CD of the sound files named in LISTFILE\n"
    "  -open PROJECT          open a saved project\n"
    "  -autoplay [-selectdrive DRIVE] -copy\n"
    "                         copy the disc in DRIVE\n"
    "  -autoplay [-selectdrive DRIVE] -rip\n"
    "                         rip the audio CD in DRIVE\n"
    "\n"
    "A list file is UTF-16 text that starts with a byte order mark and names one\n"
    "path a line; it is deleted once it has been read. Switches are matched without\n"
    "regard to case; without a task the program opens on a new data disc.\n"
    "\n"
    "  --help                 show this help and exit\n"
    "  --version              show the version and exit\n";

}  // namespace

bool AnswerInformationRequest(int argc, char** argv, std::FILE* out) {
  if (argc < 2 || argv[1] == nullptr) return false;
  if (std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kUsage, out);
  } else if (std::strcmp(argv[1], "--version") == 0) {
    std::fprintf(out, "orbweave (Korvane Orbweave 9) %s\n", compat::win32::Utf16ToUtf8(kFullVersionText).c_str());
  } else {
    return false;
  }
  std::fflush(out);
  return true;
}
