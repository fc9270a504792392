// regedit: imports a registry file into the hives (/s) and exports a key with
// its subtree to one (/a as REGEDIT4 text, /e as version 5.00 UTF-16).
#include <clocale>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "compat/win32/File.h"
#include "compat/win32/StringConv.h"
#include "peers/regedit/RegFile.h"

namespace {

constexpr const char* kUsage =
    "usage: regedit /s file.reg         import the file\n"
    "       regedit /a file.reg KEY     export KEY and its subkeys as REGEDIT4\n"
    "       regedit /e file.reg KEY     export KEY and its subkeys as version 5.00\n";

// File names may come in Windows form ("Z:\tmp\x.reg") as well as POSIX form.
std::string PathOf(const std::string& name) {
  const auto path = compat::win32::PosixPath(compat::win32::AnsiToUtf16(name));
  if (!path) throw regfile::Error("no such path: " + name);
  return *path;
}

void Import(const std::string& name) {
  std::ifstream in(PathOf(name), std::ios::binary);
  if (!in) throw regfile::Error("cannot open " + name);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  try {
    regfile::Apply(regfile::Parse(regfile::DecodeFile(bytes)));
  } catch (const regfile::Error& error) {
    throw regfile::Error(name + ": " + error.what());
  }
}

void Export(const std::string& name, const std::string& key, regfile::Format format) {
  std::vector<std::u16string> lossy;
  const std::string bytes = regfile::Export(compat::win32::AnsiToUtf16(key), format, &lossy);
  for (const std::u16string& value : lossy)
    std::fprintf(stderr, "regedit: warning: value \"%s\" of %s is not exact in a REGEDIT4 file\n",
                 compat::win32::Utf16ToAnsi(value).c_str(), key.c_str());
  std::ofstream out(PathOf(name), std::ios::binary | std::ios::trunc);
  if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) || !out.flush())
    throw regfile::Error("cannot write " + name);
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  // Switches start with / or - and ignore case; a file alone is imported.
  char option = 's';
  int first = 1;
  if (argc > 1 && (argv[1][0] == '/' || argv[1][0] == '-') && argv[1][1] != 0 && argv[1][2] == 0) {
    option = static_cast<char>(argv[1][1] | 0x20);
    first = 2;
  }
  const int operands = argc - first;
  try {
    if (option == 's' && operands == 1) {
      Import(argv[first]);
    } else if ((option == 'a' || option == 'e') && operands == 2) {
      Export(argv[first], argv[first + 1],
             option == 'a' ? regfile::Format::kRegedit4 : regfile::Format::kVersion5);
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  } catch (const regfile::Error& error) {
    std::fprintf(stderr, "regedit: %s\n", error.what());
    return 1;
  }
  return 0;
}
