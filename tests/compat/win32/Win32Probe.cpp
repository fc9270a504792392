// A second process for the named-mutex and module tests:
//   win32_probe mutex <name> <result file>   creates the mutex, writes the code left, waits to be killed
//   win32_probe module <dll> <export>        loads the module and prints what it found
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "compat/win32/Error.h"
#include "compat/win32/Module.h"
#include "compat/win32/StringConv.h"
#include "compat/win32/Sync.h"

namespace {

std::string FileNameOf(HMODULE module) {
  WCHAR name[MAX_PATH];
  const DWORD n = GetModuleFileNameW(module, name, MAX_PATH);
  return compat::win32::Utf16ToUtf8(std::u16string_view(name, n));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "mutex") == 0) {
    const HANDLE mutex = CreateMutexW(nullptr, TRUE, compat::win32::Utf8ToUtf16(argv[2]).c_str());
    const DWORD error = GetLastError();
    // Written aside and renamed, so the test never reads half a file.
    const std::string partial = std::string(argv[3]) + ".partial";
    FILE* out = std::fopen(partial.c_str(), "w");
    if (out == nullptr) return 2;
    std::fprintf(out, "%s %lu\n", mutex != nullptr ? "handle" : "null", static_cast<unsigned long>(error));
    std::fclose(out);
    std::rename(partial.c_str(), argv[3]);
    for (;;) pause();
  }
  if (argc == 4 && std::strcmp(argv[1], "module") == 0) {
    const HMODULE module = LoadLibraryW(compat::win32::Utf8ToUtf16(argv[2]).c_str());
    if (module == nullptr) {
      std::printf("not loaded %lu\n", static_cast<unsigned long>(GetLastError()));
      return 1;
    }
    std::printf("program %s\n", FileNameOf(nullptr).c_str());
    std::printf("module %s\n", FileNameOf(module).c_str());
    std::printf("export %s\n", GetProcAddress(module, argv[3]) != nullptr ? "found" : "missing");
    return 0;
  }
  std::fprintf(stderr, "usage: win32_probe mutex <name> <file> | module <dll> <export>\n");
  return 2;
}
