// ShellExecuteW over the freedesktop opener. The opener is started with
// posix_spawnp, never through a shell, so the text of the address is one
// argument whatever characters it holds.
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>

#include "compat/win32/Path.h"
#include "compat/win32/Shell.h"
#include "compat/win32/StringConv.h"

extern char** environ;

namespace {

HINSTANCE Answer(INT code) { return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(code)); }

bool HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

// A web address ("https:", "mailto:") goes as it is; anything else is a file
// whose Windows path is turned into the POSIX one. A one-letter scheme is a
// drive letter, not a scheme.
std::optional<std::string> OpenerArgument(std::u16string_view file) {
  const std::size_t colon = file.find(u':');
  bool isAddress = colon != std::u16string_view::npos && colon >= 2;
  for (std::size_t i = 0; isAddress && i < colon; ++i) {
    const char16_t c = file[i];
    isAddress = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                (i > 0 && ((c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.'));
  }
  if (isAddress) return compat::win32::Utf16ToUtf8(file);
  return compat::win32::PosixPath(file);
}

}  // namespace

HINSTANCE WINAPI ShellExecuteW(HWND /*hwnd*/, LPCWSTR operation, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory,
                               INT /*showCommand*/) {
  using compat::win32::Utf16ToUtf8;
  if (operation != nullptr && Utf16ToUtf8(operation) != "open") return Answer(SE_ERR_NOASSOC);
  if (parameters != nullptr && *parameters != 0) return Answer(SE_ERR_NOASSOC);
  if (file == nullptr || *file == 0) return Answer(SE_ERR_FNF);
  std::optional<std::string> argument = OpenerArgument(file);
  // A leading "-" would read as one of the opener's own options.
  if (!argument || argument->empty() || argument->front() == '-') return Answer(SE_ERR_FNF);
  if (!HasDisplay()) return Answer(SE_ERR_ACCESSDENIED);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (directory != nullptr && *directory != 0) {
    const std::optional<std::string> folder = compat::win32::PosixPath(directory);
    posix_spawn_file_actions_addchdir_np(&actions, folder ? folder->c_str() : Utf16ToUtf8(directory).c_str());
  }
  std::string program = "xdg-open";
  char* argv[] = {program.data(), argument->data(), nullptr};
  pid_t child = 0;
  const int spawned = posix_spawnp(&child, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return Answer(spawned == EACCES ? SE_ERR_ACCESSDENIED : SE_ERR_FNF);

  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return Answer(SE_ERR_NOASSOC);
  }
  // glibc reports a program it could not run (or a working folder it could
  // not enter) as exit status 127 from the child.
  if (WIFEXITED(status) && WEXITSTATUS(status) == 127) return Answer(SE_ERR_FNF);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return Answer(SE_ERR_NOASSOC);
  return Answer(42);
}
